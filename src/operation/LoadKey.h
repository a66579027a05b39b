// The load-key digitizing sequence, as the main window's timer runs it: the
// operator drives the nozzle to the point an arrow blinks at and presses the
// machine's load key; every fifth tick the timer asks the machine whether a
// point is ready ("OS;", bit 4), takes the reference point and then the skew
// point, and the record of the load-key placement is complete.
//
// Plain code on the link: the window draws the arrows and sends the border.
#pragma once

#include "foundation/utils.h"
#include "geometry/Placement.h"
#include "link/MachineOps.h"

#include <functional>
#include <string>

namespace grittor {

class TSerial;

// The sequence's states: 0 idle; 1 and 2 waiting for the reference point,
// the arrow shown in its two colours; 3 and 4 the same for the skew point.
enum : int { LoadKeyIdle = 0 };

// The answer to "OS;" as a status: anything that is not a decimal integer
// counts as 0.
int ParseStatusAnswer(const std::string &answer);
// A digitized point is ready when the status has the bit of value 4.
inline bool PointReady(int status) { return (status & 4) != 0; }

enum class TLoadKeyPoint { None, Reference, Skew };
enum class TLoadKeyArrow { None, Reference, Skew };

// What one poll round decided and did.
struct TLoadKeyRound {
    int State = LoadKeyIdle;                   // after the round
    TLoadKeyArrow Arrow = TLoadKeyArrow::None; // where the arrow is drawn
    bool PenColour = false;                    // in the border pen's colour (else the workspace colour)
    TLoadKeyPoint Taken = TLoadKeyPoint::None;
    TExtendedPoint At;                         // the point taken (machine units)
};

// The blink and take decision of a round, without the machine: `state`
// before the round and whether the machine reported a point ready.
TLoadKeyRound LoadKeyStep(int state, bool ready);

// One poll round on the link: "OS;", the blink step, and when a point is
// ready the nozzle position ("ESC.vposition:", unreadable axes 0), its log
// line and "DP;" (reference: arm the load key again) or "DC;" (skew).
// `stillRunning` is asked after each exchange: the operator may cancel the
// sequence while the round waits for the machine, and a cancelled round
// takes no point.
// `readPosition` reads the nozzle position (the settings panel's reader,
// which shows it too); without one the link is asked directly.
TLoadKeyRound PollLoadKey(TSerial &link, int state, const std::function<bool()> &stillRunning,
                          const std::function<TMachinePosition()> &readPosition = {});

// The record once the skew point is taken: Ref (0,0) and Skew relative to
// the reference point in Origin; Stretch and Offset are left as they were.
void TakeSkewPoint(TPlacement &record, const TExtendedPoint &skew);

// The status bar text for a state ("" when idle).
std::string LoadKeyPrompt(int state);

} // namespace grittor
