// The shared progress window: it comes up only once a piece of work has run
// a quarter of a second, so a small plot opens without a window flashing by,
// and long work still shows its bar and its Cancel.
#include "operation/progress.h"

#include "foundation/AbortFlags.h"
#include "foundation/Clock.h"

#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace grittor;

namespace {

struct ClockScope {
    FakeClock clock;
    ClockScope() { SetClock(&clock); }
    ~ClockScope() { SetClock(nullptr); }
};

} // namespace

TEST(ProgressWindow, ComesUpOnlyWhenTheWorkLastsAndStaysUpForTheNextPiece)
{
    ClockScope time;
    TProgressFrm frm;
    frm.Show("Prescan Hpgl File");
    frm.SetProgress(0.5);
    time.clock.Advance(TProgressFrm::ShowDelayMs - 1);
    frm.SetProgress(0.9);
    EXPECT_FALSE(frm.Showing());
    EXPECT_EQ(frm.ProgressBar->value(), 900);
    frm.Hide();
    // A short piece that ends leaves nothing behind, even when the time
    // since its start passes the delay afterwards.
    time.clock.Advance(1000);
    frm.SetProgress(0.1);
    EXPECT_FALSE(frm.Showing());

    frm.Show("Render image");
    time.clock.Advance(TProgressFrm::ShowDelayMs);
    frm.SetProgress(0.2);
    EXPECT_TRUE(frm.Showing());
    EXPECT_EQ(frm.windowTitle(), "Render image");
    // The next piece of the same work keeps the window up at once.
    frm.Show("Prescan Hpgl File");
    EXPECT_TRUE(frm.Showing());
    EXPECT_EQ(frm.ProgressBar->value(), 0);
    frm.Hide();
    EXPECT_FALSE(frm.Showing());
}

TEST(ProgressWindow, CancelAndClosingStopTheWorkOnceShown)
{
    ClockScope time;
    TProgressFrm frm;
    GetAbortFlags().OperationCancelled = false;
    frm.Show("Render image");
    time.clock.Advance(TProgressFrm::ShowDelayMs);
    frm.SetProgress(0.3);
    ASSERT_TRUE(frm.Showing());
    frm.CancelButton->click();
    EXPECT_TRUE(GetAbortFlags().OperationCancelled.load());
    GetAbortFlags().OperationCancelled = false;
    frm.close();
    EXPECT_TRUE(GetAbortFlags().OperationCancelled.load());
    GetAbortFlags().OperationCancelled = false;
}
