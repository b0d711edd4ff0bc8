#pragma once

class QWidget;
class SkinButtons;

// A press of any mouse button on surface moves window with the mouse: through the window
// manager (QWindow::startSystemMove) where it supports it, otherwise by following the mouse.
void makeDragSurface(QWidget *surface, QWidget *window);

// A mouse move over surface un-hovers the hovered skin button.
void makeHoverReset(QWidget *surface, SkinButtons &skin);
