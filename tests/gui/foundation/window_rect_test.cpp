#include "foundation/WindowRect.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <gtest/gtest.h>

using namespace grittor;

namespace {

QSize ScreenSize()
{
    return QGuiApplication::primaryScreen()->availableGeometry().size();
}

} // namespace

TEST(WindowRect, ARectangleOnTheScreenIsAppliedAsItIsAndReadBack)
{
    QWidget w;
    const TRectXYWH want{40, 30, 320, 200};
    EXPECT_EQ(ApplyWindowRect(w, want), want);
    EXPECT_EQ(GetWindowRect(w), want);
}

TEST(WindowRect, AWindowPastTheScreenIsPulledBackAndAnOversizedOneTakesTheScreen)
{
    const QSize screen = ScreenSize();
    ASSERT_GT(screen.width(), 200);
    QWidget w;
    // Past the right and bottom edges: moved in, size kept.
    TRectXYWH r = ApplyWindowRect(w, {screen.width() - 50, screen.height() - 20, 200, 100});
    EXPECT_EQ(r, (TRectXYWH{screen.width() - 200, screen.height() - 100, 200, 100}));
    EXPECT_EQ(GetWindowRect(w), r);
    // Negative corner: to 0.
    r = ApplyWindowRect(w, {-30, -40, 200, 100});
    EXPECT_EQ(r, (TRectXYWH{0, 0, 200, 100}));
    // Wider and taller than the screen: at 0 with the screen's size.
    r = ApplyWindowRect(w, {10, 10, screen.width() + 300, screen.height() + 300});
    EXPECT_EQ(r, (TRectXYWH{0, 0, screen.width(), screen.height()}));
    EXPECT_EQ(GetWindowRect(w), r);
}
