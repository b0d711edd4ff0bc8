#include "ui/skin/dragsurface.h"

void makeDragSurface(QWidget *, QWidget *) {}
void makeHoverReset(QWidget *, SkinButtons &) {}
