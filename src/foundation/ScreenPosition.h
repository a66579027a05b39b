// Keeping a window rectangle on the screen.
#pragma once

namespace grittor {

struct TRectXYWH {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const TRectXYWH &o) const
    {
        return left == o.left && top == o.top && width == o.width && height == o.height;
    }
};

// Moves (and if need be shrinks) the rectangle so that it lies on a screen of
// the given size.
TRectXYWH FitRectToScreen(TRectXYWH r, int screenWidth, int screenHeight);

} // namespace grittor
