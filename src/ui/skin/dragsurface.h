#pragma once

class QWidget;
class SkinButtons;

// A press of any mouse button on the surface moves the window (system move when the window
// system offers it, otherwise following the mouse).
void makeDragSurface(QWidget *surface, QWidget *window);
// Mouse movement over the surface clears the hovered button.
void makeHoverReset(QWidget *surface, SkinButtons &table);
