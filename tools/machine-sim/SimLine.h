// The simulated line: pacing at the configured baud rate, the fault modes
// applied to what the machine sends, and the control commands read from
// the simulator's stdin.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

namespace grittor::sim {

// Bytes a line of `baud` carries per second (10 bits a byte); 0 = unpaced.
double LineBytesPerSecond(double baud);

// Token bucket for one direction of the line.  Capacity builds up with time
// while the direction is busy; when it goes quiet the bank is cut to a small
// burst, so a quiet period never buys a flood afterwards.
class TokenBucket {
public:
    explicit TokenBucket(double bytesPerSecond = 0, double burst = 16);
    bool Unlimited() const { return rate_ <= 0; }
    // Whole bytes that may move now.
    size_t Available(double nowMs);
    void Consume(size_t n);
    // The direction had nothing to move at nowMs: the bank is cut to the
    // burst and builds up again only from here.
    void Idle(double nowMs);
    // Milliseconds until at least one byte may move (0 when it may now).
    double MsUntilNext(double nowMs);
    void Reset(double nowMs);

private:
    void Refill(double nowMs);
    double rate_; // bytes per ms
    double burst_;
    double budget_ = 0;
    double lastMs_ = -1;
};

struct FaultState {
    enum Kind { None, Silent, Slow, Garbage, Drop, Hangup, Nak };
    Kind kind = None;
    double probability = 0; // garbage, drop: 0..1
    int slowMs = 0;         // slow: ms between two bytes sent
};

// One line of the control channel.
struct ControlCommand {
    enum Kind { Invalid, Empty, Load, Move, Fault, Quit, Stats, Eol, Set, Help };
    Kind kind = Invalid;
    long x = 0, y = 0;
    FaultState fault;
    std::string name, value; // set NAME VALUE; eol cr|crlf|none
    std::string error;       // why a line was not understood
};

// "load", "move X Y", "fault silent|slow MS|garbage P|drop P|nak|hangup|none",
// "eol cr|crlf|none", "set NAME VALUE", "stats", "help", "quit".  P may be
// written as a fraction (0.05) or a percentage (5%).
ControlCommand ParseControl(const std::string &line);

// Applies the reply-side faults to bytes the machine sends.
class FaultLine {
public:
    explicit FaultLine(uint32_t seed = 1);
    FaultState state;
    // What actually goes out for `bytes` (silent: nothing; drop: each byte
    // lost with probability P; garbage: each byte replaced by noise with
    // probability P).
    std::string Transform(const std::string &bytes);
    // Line noise heard while `received` bytes came in (garbage only): about
    // P noise bytes per byte received.  Noise never holds XON or XOFF, which
    // on a line with software flow control would stop the other side's
    // transmitter, whatever the application does.
    std::string Noise(size_t received);

private:
    uint8_t NoiseByte();
    bool Chance();
    std::mt19937 rng_;
};

// Bytes as a readable transcript text: <ESC>, <CR>, <LF>, <NUL>, \xHH.
std::string Readable(const std::string &bytes);

} // namespace grittor::sim
