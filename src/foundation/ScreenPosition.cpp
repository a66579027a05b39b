#include "foundation/ScreenPosition.h"

namespace grittor {

static void FitAxis(int &pos, int &size, int screen)
{
    if (pos + size > screen)
        pos = screen - size;
    if (pos < 0)
        pos = 0;
    if (pos + size > screen)
        size = screen;
}

TRectXYWH FitRectToScreen(TRectXYWH r, int screenWidth, int screenHeight)
{
    FitAxis(r.left, r.width, screenWidth);
    FitAxis(r.top, r.height, screenHeight);
    return r;
}

} // namespace grittor
