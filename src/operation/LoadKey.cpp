#include "operation/LoadKey.h"

#include "foundation/LogOutput.h"
#include "link/JobWait.h"
#include "link/MachineOps.h"
#include "link/TSerial.h"

#include <algorithm>
#include <cmath>

namespace grittor {

namespace {

// A poll waits this long for an answer: the controller answers "OS;" at
// once, and a silent machine must not hold the poll (and with it the
// window's commands) for the link's whole reply timeout every round.
constexpr int64_t PollReplyMs = 1000;

std::string PointText(const TExtendedPoint &p)
{
    return "(" + std::to_string(std::lround(static_cast<double>(p.x))) + "," +
           std::to_string(std::lround(static_cast<double>(p.y))) + ")";
}

} // namespace

int ParseStatusAnswer(const std::string &answer)
{
    int status = 0;
    if (!ParseInt(Trim(answer), status))
        return 0;
    return status;
}

TLoadKeyRound LoadKeyStep(int state, bool ready)
{
    TLoadKeyRound r;
    r.State = state;
    if (state < 1 || state > 4)
        return r;
    if (ready && (state == 2 || state == 4))
        --state;
    switch (state) {
    case 1:
        r.Arrow = TLoadKeyArrow::Reference;
        r.State = 2;
        break;
    case 2:
        r.Arrow = TLoadKeyArrow::Reference;
        r.PenColour = true;
        r.State = 1;
        break;
    case 3:
        r.Arrow = TLoadKeyArrow::Skew;
        r.State = 4;
        break;
    default:
        r.Arrow = TLoadKeyArrow::Skew;
        r.PenColour = true;
        r.State = 3;
        break;
    }
    if (ready) {
        if (r.State == 2) {
            r.Taken = TLoadKeyPoint::Reference;
            r.State = 4;
        } else if (r.State == 4) {
            r.Taken = TLoadKeyPoint::Skew;
            r.State = LoadKeyIdle;
        }
    }
    return r;
}

TLoadKeyRound PollLoadKey(TSerial &link, int state, const std::function<bool()> &stillRunning,
                          const std::function<TMachinePosition()> &readPosition)
{
    auto running = [&] { return !stillRunning || stillRunning(); };
    TReplyTimeoutScope timeout(link, std::min<int64_t>(link.ReplyTimeout(), PollReplyMs));
    const int status = ParseStatusAnswer(link.query("OS;", 20));
    if (!running()) {
        TLoadKeyRound idle;
        return idle;
    }
    TLoadKeyRound r = LoadKeyStep(state, PointReady(status));
    if (r.Taken == TLoadKeyPoint::None)
        return r;
    const TMachinePosition p = readPosition ? readPosition() : ReadPosition(link);
    if (!running()) {
        TLoadKeyRound idle;
        return idle;
    }
    r.At = {static_cast<long double>(p.HaveX ? p.X : 0), static_cast<long double>(p.HaveY ? p.Y : 0)};
    if (r.Taken == TLoadKeyPoint::Reference) {
        LogEntry("reference point digitized " + PointText(r.At));
        link.send_string("DP;");
    } else {
        LogEntry("skew point digitized " + PointText(r.At));
        link.send_string("DC;");
    }
    return r;
}

void TakeSkewPoint(TPlacement &record, const TExtendedPoint &skew)
{
    record.Road = TPlacementRoad::LoadKey;
    record.Record.Skew = {skew.x - record.Record.Origin.x, skew.y - record.Record.Origin.y};
    record.Record.Ref = {0, 0};
}

std::string LoadKeyPrompt(int state)
{
    switch (state) {
    case 1:
    case 2:
        return "Load key: waiting for the reference point (drive the nozzle to the blinking arrow, press load)";
    case 3:
    case 4:
        return "Load key: reference point taken; waiting for the skew point (the blinking arrow)";
    default:
        return {};
    }
}

} // namespace grittor
