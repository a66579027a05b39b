// Reading a window's rectangle and putting a window where a rectangle says,
// kept on the window's screen.
#pragma once

#include "foundation/ScreenPosition.h"

class QWidget;

namespace grittor {

// Left, top, width and height of the window's frame position and client size.
TRectXYWH GetWindowRect(const QWidget &window);

// Fits the rectangle onto the screen the window is on (the primary screen
// when it is on none) and moves and sizes the window to it. Returns the
// rectangle applied.
TRectXYWH ApplyWindowRect(QWidget &window, TRectXYWH r);

} // namespace grittor
