// The main window's heartbeat: the 100 ms timer runs the load-key digitizing
// sequence (a poll every fifth tick while it runs) and refreshes the
// terminal.  The decisions of a round are in LoadKey.h; here the arrows are
// drawn, the record filled and the border sent.
#include "operation/MainForm.h"

#include "foundation/ExceptionReporting.h"
#include "foundation/LogOutput.h"
#include "foundation/QtSeams.h"
#include "geometry/BlastJob.h"
#include "link/JobWait.h"
#include "link/TSerial.h"
#include "operation/Forms.h"
#include "operation/LoadKey.h"
#include "operation/message.h"
#include "service/MainMenu.h"

#include <QTimer>

#include <cmath>

namespace grittor {

namespace {

constexpr long double kPi = 3.14159265358979323846264338327950288L;

} // namespace

void TMainFrm::TimerTimer()
{
    // A tick that exchanges with the machine lets window messages run while
    // it waits: no second tick may start inside it.
    Timer->stop();
    try {
        ++TickCount;
        if (TickCount < 0 || TickCount > 4) {
            TickCount = 0;
            if (DigitizeState != LoadKeyIdle)
                PollLoadKey();
        }
        TerminalRefresh();
    } catch (const std::exception &e) {
        Report("TimerTimer", "Exception in periodic routine", &e, 0);
    } catch (...) {
        Report("TimerTimer", "Exception in periodic routine", nullptr, 0);
    }
    Timer->start();
}

void TMainFrm::PollLoadKey()
{
    // A running command owns the link: the poll waits for the next round.
    if (gate_.Busy() || DigitizeState == LoadKeyIdle)
        return;
    if (!serial_ || !job_ || BorderGroupIndex < 0 || BorderGroupIndex >= job_->GroupCount())
        return;
    TCommandGate::Scope busy(gate_, TCommandId::LoadKeyPoll);
    const TLoadKeyRound r = grittor::PollLoadKey(
        *serial_, DigitizeState, [this] { return DigitizeState != LoadKeyIdle && serial_ && job_; },
        [this] {
            // The settings panel's reader: its position rows show the point.
            if (TMainMenuFrm *panel = Forms().MainMenu)
                return panel->ReadPosition();
            return ReadPosition(*serial_);
        });
    if (DigitizeState == LoadKeyIdle || !job_)
        return; // cancelled while the round waited for the machine
    DigitizeState = r.State;
    if (r.Arrow != TLoadKeyArrow::None) {
        job_->Drawing(); // the paths, made if the plot has none yet
        const THpglOutput *out = job_->GroupOutput(BorderGroupIndex);
        if (out) {
            const bool skew = r.Arrow == TLoadKeyArrow::Skew;
            const int pen = job_->GroupPen(BorderGroupIndex) % 10;
            const uint32_t colour = r.PenColour ? penColors_[static_cast<size_t>(pen < 0 ? -pen : pen)] : clAppWorkSpace;
            DrawPositionArrow(skew ? out->Drawing.Skew : out->Drawing.Ref, skew ? 3 * kPi / 4 : kPi / 4, colour);
        }
    }
    switch (r.Taken) {
    case TLoadKeyPoint::None:
        break;
    case TLoadKeyPoint::Reference:
        DigitizedRecord.Record.Origin = r.At;
        SetStatusText(ToQ(LoadKeyPrompt(DigitizeState)));
        break;
    case TLoadKeyPoint::Skew: {
        TakeSkewPoint(DigitizedRecord, r.At);
        grittor::WritePosition(*serial_, Floor32(DigitizedRecord.Record.Origin.x),
                      Floor32(DigitizedRecord.Record.Origin.y));
        if (TMessageForm *message = Forms().Message)
            message->hide();
        DigitizedFlag = true;
        SetStatusText("Load key: both points taken; the border is sent");
        SendBorderClick();
        break;
    }
    }
}

void TMainFrm::CancelLoadKeyClick()
{
    LogEntry("CancelLoadKeyClick");
    if (TMessageForm *message = Forms().Message)
        message->hide();
    if (DigitizeState == LoadKeyIdle)
        return;
    DigitizeState = LoadKeyIdle;
    // The machine stops waiting for its load key.
    if (serial_)
        serial_->send_string("DC;");
    SetStatusText("Load key digitizing cancelled");
}

} // namespace grittor
