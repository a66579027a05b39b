// The load-key digitizing sequence in the real main window against
// grittor-sim: the poll every fifth tick, the blinking arrows, the two
// points taken with the machine's load key, the job position and the border
// sent exactly as grittor-cli makes it, and the message window's Cancel.
#include "SimWindowFixture.h"

#include "operation/LoadKey.h"
#include "operation/PlotImageView.h"
#include "operation/message.h"

#include <QPushButton>
#include <QTest>

using namespace grittor;
using namespace grittor::test;

namespace {

class LoadKeyE2eTest : public BlastTest {
protected:
    void SetUp() override
    {
        BlastTest::SetUp();
        kept = Forms().Message;
        Forms().Message = &message;
    }
    void TearDown() override
    {
        Forms().Message = kept;
        BlastTest::TearDown();
    }
    // The window with its own timer stopped: the test runs the ticks.
    void OpenStopped()
    {
        StartSim();
        OpenWindowWithPlot();
        frm->Timer->stop();
    }
    void Tick()
    {
        frm->TimerTimer();
        frm->Timer->stop();
    }
    // How many of the 3 x 3 pixels about a plot point are not `background`
    // (a line through the point need not hit its very pixel).
    int MarkedAt(const TExtendedPoint &p, QRgb background) const
    {
        const TViewport &v = frm->PictureViewport();
        const QImage &picture = frm->Image->Picture();
        int n = 0;
        for (int dx = -1; dx <= 1; ++dx)
            for (int dy = -1; dy <= 1; ++dy)
                n += picture.pixel(v.DeviceX(p.x) + dx, v.DeviceY(p.y) + dy) != background ? 1 : 0;
        return n;
    }
    QRgb PixelAt(const TExtendedPoint &p) const
    {
        const TViewport &v = frm->PictureViewport();
        return frm->Image->Picture().pixel(v.DeviceX(p.x), v.DeviceY(p.y));
    }
    // Waits until the simulator has recorded `n` bytes (a send is queued to
    // the line and written by the receive thread).
    void Settle() { QApplication::processEvents(QEventLoop::AllEvents, 100); }

    TMessageForm message;
    TMessageForm *kept = nullptr;
};

} // namespace

TEST_F(LoadKeyE2eTest, TwoLoadKeyPointsPlaceTheBorderByteForByteAsGrittorCliDoes)
{
    OpenStopped();
    Control("move 20000 3000");
    frm->DigitizeLocationClick();
    EXPECT_EQ(frm->DigitizeState, 2);
    EXPECT_TRUE(message.isVisible());
    EXPECT_EQ(message.PanelText().toStdString(),
              "Move nozzle with joystick to indicated point on screen and press load key");
    EXPECT_NE(frm->StatusBarPanel->text().toStdString().find("reference point"), std::string::npos);
    ASSERT_TRUE(WaitRecorded("\x1b.wstate;ready:\rDP;\r"));

    // Four ticks send nothing, the fifth polls.
    size_t before = Recorded().size();
    for (int i = 0; i < 4; ++i)
        Tick();
    Settle();
    EXPECT_EQ(Recorded().size(), before);
    Tick();
    ASSERT_TRUE(WaitRecorded("DP;\rOS;\r"));
    EXPECT_EQ(frm->DigitizeState, 1) << "no point yet: the arrow blinks";

    // The arrow at the drawing's reference, pointing up and right: its shaft
    // alternates between the border pen's colour and the workspace colour.
    frm->Job()->Drawing();
    const THpglOutput *border = frm->Job()->GroupOutput(frm->BorderGroupIndex);
    ASSERT_NE(border, nullptr);
    const TExtendedPoint ref = border->Drawing.Ref;
    const long double len = Distance(frm->Plot()->MinPoint(), frm->Plot()->MaxPoint()) / 10;
    const TExtendedPoint onShaft{ref.x + len / 2 * std::cos(kPi / 4), ref.y + len / 2 * std::sin(kPi / 4)};
    const QRgb background = PixelAt({8000, 6000});
    EXPECT_GT(MarkedAt(onShaft, background), 0) << "state 2 drew the arrow in the pen's colour";
    frm->PollLoadKey();
    EXPECT_EQ(frm->DigitizeState, 2);
    EXPECT_EQ(MarkedAt(onShaft, background), 0) << "state 1 draws it in the workspace colour: gone";
    frm->PollLoadKey();
    EXPECT_EQ(frm->DigitizeState, 1);
    EXPECT_GT(MarkedAt(onShaft, background), 0) << "and back";
    if (const char *shots = std::getenv("GRITTOR_SCREENSHOT_DIR")) {
        frm->grab().save(QString(shots) + "/load-key-arrow.png");
        message.grab().save(QString(shots) + "/load-key-message.png");
    }

    // The reference point: the nozzle position, the load key armed again.
    Control("load");
    before = Recorded().size();
    frm->PollLoadKey();
    EXPECT_EQ(frm->DigitizeState, 4);
    EXPECT_EQ(frm->DigitizedRecord.Record.Origin.x, 20000);
    EXPECT_EQ(frm->DigitizedRecord.Record.Origin.y, 3000);
    ASSERT_TRUE(WaitRecorded("\x1b.vposition:\rDP;\r"));
    EXPECT_EQ(Recorded().substr(before), "OS;\r\x1b.vposition:\rDP;\r");
    EXPECT_NE(frm->StatusBarPanel->text().toStdString().find("skew point"), std::string::npos);

    // The skew arrow: at the drawing's skew point, up and left.
    const TExtendedPoint skew = border->Drawing.Skew;
    const TExtendedPoint onSkewShaft{skew.x + len / 2 * std::cos(3 * kPi / 4), skew.y + len / 2 * std::sin(3 * kPi / 4)};
    EXPECT_EQ(MarkedAt(onSkewShaft, background), 0);
    frm->PollLoadKey();
    EXPECT_EQ(frm->DigitizeState, 3);
    EXPECT_GT(MarkedAt(onSkewShaft, background), 0) << "the skew arrow in the pen's colour";

    // The skew point, 8000 along and 4000 up from the reference.
    Control("move 28000 7000");
    Control("load");
    const size_t skewAt = Recorded().size();
    frm->PollLoadKey();
    EXPECT_EQ(frm->DigitizeState, 0);
    EXPECT_FALSE(message.isVisible());
    EXPECT_TRUE(frm->DigitizedFlag);
    const TAlignPoints &rec = frm->DigitizedRecord.Record;
    EXPECT_EQ(frm->DigitizedRecord.Road, TPlacementRoad::LoadKey);
    EXPECT_EQ(rec.Origin.x, 20000);
    EXPECT_EQ(rec.Ref.x, 0);
    EXPECT_EQ(rec.Ref.y, 0);
    EXPECT_EQ(rec.Skew.x, 8000);
    EXPECT_EQ(rec.Skew.y, 4000);
    ASSERT_TRUE(frm->LastJobResult().Ok()) << frm->LastJobResult().Message;
    ASSERT_TRUE(WaitRecorded("papu0,0;\r\n\r"));
    const std::string line = Recorded().substr(skewAt);
    // The skew taken and the load key disarmed; the job position told (the
    // sequence's own, then the border send's); the border.
    const std::string position = "wa;\r\x1b.wposition;20000;3000:\rwa;\rpg0;\rwa;\r";
    const std::string head = "OS;\r\x1b.vposition:\rDC;\r" + position + position;
    ASSERT_EQ(line.substr(0, head.size()), head);

    std::string error;
    ASSERT_EQ(store.Save(error), LibrarySaveResult::Written) << error;
    const CliResult cli =
        RunCli({"job", QString::fromStdString(frm->PlotFileName()), "--reference", "20000,3000", "--skew",
                "28000,7000", "--border", "--material", "Stone", "--library",
                QString::fromStdString(MaterialLibraryPath(Options().SettingsFolder()))});
    ASSERT_EQ(cli.exitCode, 0) << cli.err;
    EXPECT_EQ(line.substr(head.size()), cli.out + "\r") << "the border as grittor-cli job --border makes it";
}

TEST_F(LoadKeyE2eTest, WithNoSequenceTheTimerSendsNothingWhateverItsCount)
{
    OpenStopped();
    Settle();
    const size_t before = Recorded().size();
    for (int count : {-7, 0, 4, 5, 1000}) {
        frm->TickCount = count;
        for (int i = 0; i < 6; ++i)
            Tick();
    }
    Settle();
    EXPECT_EQ(Recorded().size(), before);
    EXPECT_EQ(frm->DigitizeState, 0);
}

TEST_F(LoadKeyE2eTest, TheMessageWindowsCancelEndsTheSequenceAndDisarmsTheLoadKey)
{
    OpenStopped();
    frm->DigitizeLocationClick();
    ASSERT_TRUE(WaitRecorded("DP;\r"));
    frm->PollLoadKey();
    ASSERT_EQ(frm->DigitizeState, 1);
    const size_t before = Recorded().size();
    // By keyboard: Escape in the message window is its Cancel.
    message.activateWindow();
    QTest::keyClick(&message, Qt::Key_Escape);
    EXPECT_EQ(frm->DigitizeState, 0);
    EXPECT_FALSE(message.isVisible());
    ASSERT_TRUE(WaitRecorded("DC;\r"));
    EXPECT_EQ(Recorded().substr(before), "DC;\r");
    EXPECT_NE(frm->StatusBarPanel->text().toStdString().find("cancelled"), std::string::npos);
    // A load key pressed now takes nothing, and the timer polls no more.
    Control("load");
    for (int i = 0; i < 10; ++i)
        Tick();
    Settle();
    EXPECT_EQ(Recorded().substr(before), "DC;\r");
    EXPECT_FALSE(frm->DigitizedFlag);

    // The Cancel button does the same.
    frm->DigitizeLocationClick();
    ASSERT_EQ(frm->DigitizeState, 2);
    message.CancelButton->click();
    EXPECT_EQ(frm->DigitizeState, 0);
}

TEST_F(LoadKeyE2eTest, CtrlLStartsTheSequence)
{
    OpenStopped();
    QTest::keyClick(frm.get(), Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(frm->DigitizeState, 2);
    EXPECT_TRUE(message.isVisible());
}
