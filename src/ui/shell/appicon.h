#pragma once

#include <QIcon>
#include <QImage>

// The program's icon, drawn rather than stored: a blue shield with a white tick. The same
// drawing gives the tray icon at run time and the themed PNG files at build time.
namespace appicon {

// One square image of the given size in pixels, transparent around the shield.
QImage draw(int size);

// The icon in the usual theme sizes.
QIcon icon();

}  // namespace appicon
