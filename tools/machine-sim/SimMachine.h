// The controller side of the line, as a pure state machine: bytes in,
// bytes out, time passed in by the caller.  It answers variable reads and
// writes, HPGL status and digitizing instructions, consumes job streams and
// reports the blaster idle when their blast time has run, receives XMODEM
// firmware, sends memory dumps and motor records, and runs the engineering
// monitor.  grittor-sim wraps it in a process on a pseudo-terminal.
#pragma once

#include "SimMonitor.h"
#include "SimXmodem.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace grittor::sim {

struct SimConfig {
    // Multiplies the machine's own delays: blast time, the loader's NAK
    // interval; the joystick moves 1/TimeScale times faster.
    double TimeScale = 1.0;
    std::string FirmwarePath; // where a received firmware is saved ("" = kept in memory only)
    std::string Version = "SIM-CTRL 5.20 simulated blaster controller";
};

// One HPGL instruction: two letters (lower case) and its parameter text.
struct HpglInstruction {
    std::string mnemonic;
    std::string params;
};
// Splits a statement such as "papu1016,0" or "ap7oc" into instructions.
std::vector<HpglInstruction> SplitHpgl(const std::string &statement);
// The numbers of a parameter text ("1016, 2032" → 1016 2032).
std::vector<double> HpglNumbers(const std::string &params);

class SimMachine {
public:
    enum class Mode { Normal, Monitor, Xmodem };

    explicit SimMachine(SimConfig config = {});

    void Receive(unsigned char c, double nowMs);
    void Receive(const std::string &bytes, double nowMs);
    // Lets time pass: blast clock, joystick motion, loader NAKs, a waiting "wa;".
    void Tick(double nowMs);
    // When Tick next has something to do.
    double NextDueMs(double nowMs) const;
    std::string TakeOutput();
    bool HasOutput() const { return !out_.empty(); }
    // The line was dropped (hang-up): partial commands are forgotten.
    void LineReset();

    // ---- operator side ----
    void PressLoad(double nowMs);
    void MoveTo(long x, long y);
    void SetNakAll(bool on) { nakAll_ = on; }
    // Line end of answers: "\r" (default), "\r\n" or "" (answers end by silence).
    void SetEol(const std::string &eol);
    // Sets a variable directly ("error_message", "state", ...); false for an unknown name.
    bool Set(const std::string &name, const std::string &value);

    // ---- inspection ----
    std::string Variable(const std::string &name) const;
    long X() const { return static_cast<long>(x_); }
    long Y() const { return static_cast<long>(y_); }
    Mode CurrentMode() const { return mode_; }
    bool BlasterIdle() const { return blastLeftMs_ <= 0; }
    double BlastLeftMs() const { return blastLeftMs_; }
    bool PointReady() const { return pointReady_; }
    long JobOriginX() const { return originX_; }
    long JobOriginY() const { return originY_; }
    double PathLength() const { return pathLength_; }
    // Blast time of everything received, at the machine's own pace (the
    // time scale left out).
    double BlastTotalMs() const { return blastTotalMs_; }
    const std::string &LastFirmware() const { return firmware_; }
    int FirmwareUploads() const { return uploads_; }
    const SimMonitor &Monitor() const { return monitor_; }
    std::string ModeName() const;

    // Transcript events ("firmware saved ...", "job ended ..."); optional.
    std::function<void(const std::string &)> Event;

    // Word the dump reads at a byte address (deterministic).
    static uint32_t MemoryWord(uint32_t address);

private:
    void NormalByte(unsigned char c, double nowMs);
    void Statement(const std::string &text, double nowMs);
    void Escape(char kind, const std::string &body, double nowMs);
    void ReadVariable(const std::string &name);
    void WriteVariable(const std::string &name, const std::vector<std::string> &values, bool hasValue, double nowMs);
    void Command(const std::string &name, const std::vector<std::string> &args, double nowMs);
    void Answer(const std::string &text) { out_ += text + eol_; }
    void Error(const std::string &text);
    void MoveHead(double x, double y, double nowMs);
    void Advance(double nowMs);
    void Note(const std::string &text)
    {
        if (Event)
            Event(text);
    }
    void Dump(uint32_t start, long words);
    void MotorRecords(long n);
    void EndXmodem(SimXmodemReceiver::Status status);

    SimConfig config_;
    std::string out_;
    std::string eol_ = "\r";
    Mode mode_ = Mode::Normal;

    // Parsing
    std::string statement_;
    int escState_ = 0; // 0 none, 1 after ESC, 2 after "ESC.", 3 in the body
    char escKind_ = 0;
    std::string escBody_;

    // Variables (text values) and the head.
    std::map<std::string, std::string> vars_;
    double x_ = 0, y_ = 0;
    double joyX_ = 0, joyY_ = 0; // units per second
    long originX_ = 0, originY_ = 0;
    bool penDown_ = false;
    double speed_ = 0; // "vs" (cm/s); 0 = the downspeed variable

    // Digitizing
    bool armed_ = false;
    bool pointReady_ = false;

    // Blaster
    double blastLeftMs_ = 0;
    double pathLength_ = 0;
    double blastTotalMs_ = 0;
    bool waPending_ = false;
    double lastMs_ = -1;

    // Service
    std::unique_ptr<SimXmodemReceiver> xmodem_;
    bool nakAll_ = false;
    std::string firmware_;
    int uploads_ = 0;
    SimMonitor monitor_;
};

} // namespace grittor::sim
