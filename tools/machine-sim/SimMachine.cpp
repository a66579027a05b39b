#include "SimMachine.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace grittor::sim {

namespace {
constexpr double kUnitsPerCm = 400.0;      // 40 plotter units a millimetre
constexpr double kJoyUnitsPerStep = 127.0; // 0.125 inch/s per slew step, 1016 units an inch
constexpr size_t kStatementLimit = 4096;
constexpr size_t kEscapeLimit = 512;
constexpr long kDumpRecordLimit = 250000;

bool IsLetter(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}
bool IsDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

std::vector<std::string> Split(const std::string &s, char sep)
{
    std::vector<std::string> parts;
    size_t begin = 0;
    for (size_t i = 0; i <= s.size(); ++i)
        if (i == s.size() || s[i] == sep) {
            parts.push_back(s.substr(begin, i - begin));
            begin = i + 1;
        }
    return parts;
}

bool IsNumber(const std::string &s, bool wholeOnly)
{
    if (s.empty())
        return false;
    char *end = nullptr;
    if (wholeOnly)
        std::strtol(s.c_str(), &end, 10);
    else
        std::strtod(s.c_str(), &end);
    return end != s.c_str() && *end == '\0';
}

// The line runs XON/XOFF flow control, so a controller speaking it never
// sends those two bytes as data: its binary words are kept clear of them.
uint32_t FlowSafe(uint32_t w)
{
    for (int i = 0; i < 4; ++i) {
        const uint32_t b = (w >> (8 * i)) & 0xFF;
        if (b == 0x11 || b == 0x13)
            w += 4u << (8 * i);
    }
    return w;
}

void PutWord(std::string &out, uint32_t w)
{
    w = FlowSafe(w);
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((w >> (8 * i)) & 0xFF);
}
} // namespace

std::vector<HpglInstruction> SplitHpgl(const std::string &s)
{
    std::vector<HpglInstruction> list;
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        if (i + 1 < n && IsLetter(s[i]) && IsLetter(s[i + 1])) {
            HpglInstruction ins;
            ins.mnemonic = {static_cast<char>(std::tolower(static_cast<unsigned char>(s[i]))),
                            static_cast<char>(std::tolower(static_cast<unsigned char>(s[i + 1])))};
            i += 2;
            const size_t start = i;
            while (i < n) {
                const char c = s[i];
                // An exponent inside a number ("1.5e-05") is part of the parameters.
                const bool exponent = (c == 'e' || c == 'E') && i > start && (IsDigit(s[i - 1]) || s[i - 1] == '.') &&
                                      i + 1 < n && (IsDigit(s[i + 1]) || s[i + 1] == '-' || s[i + 1] == '+');
                if (IsLetter(c) && !exponent)
                    break;
                ++i;
            }
            ins.params = s.substr(start, i - start);
            list.push_back(std::move(ins));
        } else {
            ++i;
        }
    }
    return list;
}

std::vector<double> HpglNumbers(const std::string &params)
{
    std::vector<double> v;
    const char *p = params.c_str();
    while (*p) {
        char *end = nullptr;
        const double d = std::strtod(p, &end);
        if (end == p) {
            ++p;
            continue;
        }
        v.push_back(d);
        p = end;
    }
    return v;
}

uint32_t SimMachine::MemoryWord(uint32_t address)
{
    uint32_t x = address * 2654435761u;
    x ^= x >> 15;
    x *= 0x2C1B3C6Du;
    x ^= x >> 12;
    return FlowSafe(x);
}

SimMachine::SimMachine(SimConfig config) : config_(std::move(config))
{
    if (!(config_.TimeScale > 0))
        config_.TimeScale = 1.0;
    vars_ = {
        {"height", "48768"},   {"state", "ready"},  {"error_message", ""},   {"upspeed", "20"}, {"downspeed", "10"},
        {"acceleration", "2"}, {"joyslew", "24"},   {"jog", "100"},          {"radius", "381"}, {"centervel", "400"},
        {"setting", "0"},      {"joystick", "ton"}, {"origin_offset", "on"}, {"mode", "cut"},
    };
    monitor_.SetEol("\r\n");
}

void SimMachine::SetEol(const std::string &eol)
{
    eol_ = eol;
}

bool SimMachine::Set(const std::string &name, const std::string &value)
{
    if (name == "position") {
        const auto n = HpglNumbers(value);
        if (n.size() < 2)
            return false;
        MoveTo(std::lround(n[0]), std::lround(n[1]));
        return true;
    }
    auto it = vars_.find(name);
    if (it == vars_.end())
        return false;
    it->second = value;
    return true;
}

std::string SimMachine::Variable(const std::string &name) const
{
    if (name == "position")
        return std::to_string(X()) + "," + std::to_string(Y());
    auto it = vars_.find(name);
    return it == vars_.end() ? std::string() : it->second;
}

std::string SimMachine::ModeName() const
{
    switch (mode_) {
    case Mode::Monitor:
        return "monitor";
    case Mode::Xmodem:
        return "xmodem";
    default:
        return "normal";
    }
}

std::string SimMachine::TakeOutput()
{
    std::string o;
    o.swap(out_);
    return o;
}

void SimMachine::LineReset()
{
    statement_.clear();
    escState_ = 0;
    escBody_.clear();
    if (mode_ == Mode::Xmodem)
        EndXmodem(SimXmodemReceiver::Status::GaveUp);
}

void SimMachine::Error(const std::string &text)
{
    vars_["error_message"] = text;
    Answer("error: " + text);
}

void SimMachine::PressLoad(double nowMs)
{
    Advance(nowMs);
    if (armed_) {
        pointReady_ = true;
        armed_ = false;
        Note("load key: point digitized at " + std::to_string(X()) + "," + std::to_string(Y()));
    } else {
        Note("load key pressed, no digitize armed");
    }
}

void SimMachine::MoveTo(long x, long y)
{
    x_ = static_cast<double>(x);
    y_ = static_cast<double>(y);
    joyX_ = joyY_ = 0;
}

// ---------------------------------------------------------------- time ---

void SimMachine::Advance(double nowMs)
{
    if (lastMs_ < 0)
        lastMs_ = nowMs;
    const double dt = nowMs - lastMs_;
    if (dt > 0) {
        lastMs_ = nowMs;
        if (vars_["state"] == "ready" && blastLeftMs_ > 0) {
            blastLeftMs_ = std::max(0.0, blastLeftMs_ - dt);
            if (blastLeftMs_ <= 0)
                Note("blast finished, path " + std::to_string(std::lround(pathLength_)) + " units");
        }
        x_ += joyX_ * dt / 1000.0;
        y_ += joyY_ * dt / 1000.0;
    }
    if (waPending_ && blastLeftMs_ <= 0) {
        waPending_ = false;
        Answer("idle");
    }
}

void SimMachine::Tick(double nowMs)
{
    Advance(nowMs);
    if (mode_ == Mode::Xmodem && xmodem_) {
        const auto st = xmodem_->Tick(nowMs, out_);
        if (st != SimXmodemReceiver::Status::Running)
            EndXmodem(st);
    }
}

double SimMachine::NextDueMs(double nowMs) const
{
    double due = nowMs + 1e9;
    if (waPending_ && blastLeftMs_ > 0 && Variable("state") == "ready")
        due = std::min(due, nowMs + blastLeftMs_);
    if (joyX_ != 0 || joyY_ != 0)
        due = std::min(due, nowMs + 20);
    if (mode_ == Mode::Xmodem && xmodem_)
        due = std::min(due, xmodem_->NextDueMs());
    return due;
}

// ----------------------------------------------------------- receiving ---

void SimMachine::Receive(const std::string &bytes, double nowMs)
{
    for (char c : bytes)
        Receive(static_cast<unsigned char>(c), nowMs);
}

void SimMachine::Receive(unsigned char c, double nowMs)
{
    Advance(nowMs);
    switch (mode_) {
    case Mode::Xmodem: {
        const auto st = xmodem_->Receive(c, nowMs, out_);
        if (st != SimXmodemReceiver::Status::Running)
            EndXmodem(st);
        return;
    }
    case Mode::Monitor:
        if (!monitor_.Receive(c, out_))
            mode_ = Mode::Normal;
        return;
    default:
        NormalByte(c, nowMs);
    }
}

void SimMachine::NormalByte(unsigned char c, double nowMs)
{
    if (c == 27) {
        escState_ = 1;
        escBody_.clear();
        return;
    }
    switch (escState_) {
    case 1:
        escState_ = c == '.' ? 2 : 0;
        if (escState_ == 2)
            return;
        break; // not a device command: the byte is ordinary text
    case 2:
        if (c == 'a') {
            escState_ = 0;
            Answer(config_.Version);
            return;
        }
        if (c == 'v' || c == 'w' || c == 'c' || c == 'r' || c == 'k') {
            escKind_ = static_cast<char>(c);
            escState_ = 3;
            return;
        }
        escState_ = 0;
        return;
    case 3:
        if (c == ':') {
            escState_ = 0;
            Escape(escKind_, escBody_, nowMs);
            return;
        }
        if (c == 13 || c == 10) {
            escState_ = 0; // a command cut short by a line end is dropped
            Note("incomplete device command dropped: " + escBody_);
            break;
        }
        if (escBody_.size() < kEscapeLimit)
            escBody_ += static_cast<char>(c);
        return;
    default:
        break;
    }
    if (c == ';' || c == 13 || c == 10) {
        std::string s;
        s.swap(statement_);
        if (!s.empty())
            Statement(s, nowMs);
        return;
    }
    if (c < 32 || c > 126)
        return; // control bytes outside a command mean nothing here
    if (statement_.size() < kStatementLimit)
        statement_ += static_cast<char>(c);
}

// -------------------------------------------------------------- HPGL ---

void SimMachine::MoveHead(double x, double y, double nowMs)
{
    (void)nowMs;
    if (penDown_) {
        const double len = std::hypot(x - x_, y - y_);
        pathLength_ += len;
        double speed = speed_;
        if (!(speed > 0))
            speed = std::strtod(Variable("downspeed").c_str(), nullptr);
        if (!(speed > 0))
            speed = 10;
        const double ms = len / (kUnitsPerCm * speed) * 1000.0;
        blastTotalMs_ += ms;
        blastLeftMs_ += ms * config_.TimeScale;
    }
    x_ = x;
    y_ = y;
}

void SimMachine::Statement(const std::string &text, double nowMs)
{
    for (const auto &ins : SplitHpgl(text)) {
        const std::string &m = ins.mnemonic;
        const auto nums = HpglNumbers(ins.params);
        auto moves = [&] {
            for (size_t k = 0; k + 1 < nums.size(); k += 2)
                MoveHead(nums[k], nums[k + 1], nowMs);
        };
        if (m == "pu") {
            penDown_ = false;
            moves();
        } else if (m == "pd") {
            penDown_ = true;
            moves();
        } else if (m == "pa") {
            // In this machine's job language every blast move says "pd";
            // bare "pa" moves (the job's closing "pa0,0,0,0,0,0") travel.
            const bool down = penDown_;
            penDown_ = false;
            moves();
            penDown_ = down && nums.empty();
        } else if (m == "vs") {
            if (!nums.empty() && nums[0] > 0)
                speed_ = nums[0];
        } else if (m == "dp") {
            armed_ = true;
            pointReady_ = false;
        } else if (m == "dc") {
            armed_ = false;
            pointReady_ = false;
        } else if (m == "os") {
            Answer(std::to_string(8 | (pointReady_ ? 4 : 0)));
        } else if (m == "oc") {
            Answer(std::to_string(X()) + "," + std::to_string(Y()) + ",0");
        } else if (m == "wa") {
            if (BlasterIdle())
                Answer("idle");
            else
                waPending_ = true;
        } else if (m == "ec") {
            MotorRecords(nums.empty() ? 0 : static_cast<long>(nums[0]));
        }
        // ap, bp, pg, nr and the rest of HPGL are accepted without an answer
    }
}

// --------------------------------------------------- device commands ---

void SimMachine::Escape(char kind, const std::string &body, double nowMs)
{
    switch (kind) {
    case 'v':
        ReadVariable(body);
        break;
    case 'w': {
        auto parts = Split(body, ';');
        const std::string name = parts[0];
        parts.erase(parts.begin());
        WriteVariable(name, parts, !parts.empty(), nowMs);
        break;
    }
    case 'c': {
        auto parts = Split(body, ';');
        const std::string name = parts[0];
        parts.erase(parts.begin());
        Command(name, parts, nowMs);
        break;
    }
    case 'r':
        Note("reset");
        Answer("reset done");
        break;
    case 'k':
        if (blastLeftMs_ > 0)
            Note("job killed with " + std::to_string(std::lround(blastLeftMs_)) + " ms of blasting left");
        blastLeftMs_ = 0;
        penDown_ = false;
        Advance(nowMs);
        break;
    default:
        break;
    }
}

void SimMachine::ReadVariable(const std::string &name)
{
    if (name == "position") {
        Answer(Variable("position"));
        return;
    }
    auto it = vars_.find(name);
    if (it == vars_.end()) {
        Error("unknown variable " + name);
        return;
    }
    Answer(it->second);
}

void SimMachine::WriteVariable(const std::string &name, const std::vector<std::string> &values, bool hasValue,
                               double nowMs)
{
    const std::string v = hasValue ? values[0] : std::string();
    if (name == "error_mes" || (name == "error_message" && !hasValue)) {
        vars_["error_message"].clear();
        Answer("ok");
        return;
    }
    if (!hasValue) {
        Error("missing value for " + name);
        return;
    }
    if (name == "state") {
        if (v != "ready" && v != "pause" && v != "unload") {
            Error("bad state " + v);
            return;
        }
        Advance(nowMs);
        vars_["state"] = v;
        Answer("ok");
        return;
    }
    if (name == "jogx" || name == "jogy") {
        if (!IsNumber(v, true)) {
            Error("bad jog " + v);
            return;
        }
        const double step =
            std::strtod(v.c_str(), nullptr) * std::strtod(Variable("jog").c_str(), nullptr) * 1016.0 / 1000.0;
        if (name == "jogx")
            x_ += std::round(step);
        else
            y_ += std::round(step);
        Answer("ok");
        return;
    }
    if (name == "joyx" || name == "joyy") {
        if (!IsNumber(v, true)) {
            Error("bad slew " + v);
            return;
        }
        Advance(nowMs);
        const double speed = std::strtod(v.c_str(), nullptr) * kJoyUnitsPerStep / config_.TimeScale;
        (name == "joyx" ? joyX_ : joyY_) = speed;
        if (speed == 0) {
            x_ = std::round(x_);
            y_ = std::round(y_);
        }
        Answer("ok");
        return;
    }
    if (name == "position") {
        if (values.size() < 2 || !IsNumber(values[0], true) || !IsNumber(values[1], true)) {
            Error("bad position");
            return;
        }
        originX_ = std::strtol(values[0].c_str(), nullptr, 10);
        originY_ = std::strtol(values[1].c_str(), nullptr, 10);
        Note("job position " + std::to_string(originX_) + "," + std::to_string(originY_));
        Answer("ok");
        return;
    }
    static const char *const numeric[] = {"upspeed", "downspeed", "acceleration", "joyslew",
                                          "jog",     "radius",    "centervel",    "height"};
    for (const char *n : numeric)
        if (name == n) {
            if (!IsNumber(v, false)) {
                Error("bad value for " + name + ": " + v);
                return;
            }
            vars_[name] = v;
            Answer("ok");
            return;
        }
    if (name == "setting" || name == "joystick" || name == "origin_offset" || name == "mode") {
        vars_[name] = v;
        if (name == "setting" && v == "1")
            Note("settings saved");
        Answer("ok");
        return;
    }
    Error("unknown variable " + name);
}

void SimMachine::Command(const std::string &name, const std::vector<std::string> &args, double nowMs)
{
    if (name.rfind("load", 0) == 0) {
        xmodem_ = std::make_unique<SimXmodemReceiver>(1000.0 * config_.TimeScale);
        xmodem_->NakAll = nakAll_;
        mode_ = Mode::Xmodem;
        Note("loader waiting for firmware (" + name + ")");
        xmodem_->Start(nowMs, out_);
        return;
    }
    if (name == "dump_mem") {
        if (args.size() < 2 || !IsNumber(args[0], true) || !IsNumber(args[1], true)) {
            Error("usage dump_mem;start;count");
            return;
        }
        Dump(static_cast<uint32_t>(std::strtoul(args[0].c_str(), nullptr, 10)),
             std::strtol(args[1].c_str(), nullptr, 10));
        return;
    }
    if (name == "diag_run") {
        const std::string n = args.empty() ? std::string() : args[0];
        if (n == "19") {
            mode_ = Mode::Monitor;
            monitor_.Enter(out_);
            return;
        }
        Answer("diagnostic " + n + " done");
        return;
    }
    if (name == "calibrate") {
        if (args.size() < 4) {
            Error("usage calibrate;xdrawn;xmeasured;ydrawn;ymeasured");
            return;
        }
        Answer("calibrate x " + args[0] + "/" + args[1] + " y " + args[2] + "/" + args[3]);
        return;
    }
    Error("unknown command " + name);
}

void SimMachine::EndXmodem(SimXmodemReceiver::Status status)
{
    if (!xmodem_)
        return;
    const int blocks = xmodem_->BlocksAccepted();
    if (status == SimXmodemReceiver::Status::Finished) {
        firmware_ = xmodem_->Data();
        ++uploads_;
        std::string where = "kept in memory";
        if (!config_.FirmwarePath.empty()) {
            // Written aside and renamed into place: whoever watches the file
            // sees nothing, then the whole firmware, never a part of it.
            const std::string part = config_.FirmwarePath + ".part";
            bool saved = false;
            if (std::FILE *f = std::fopen(part.c_str(), "wb")) {
                saved = std::fwrite(firmware_.data(), 1, firmware_.size(), f) == firmware_.size();
                saved = std::fclose(f) == 0 && saved;
                saved = saved && std::rename(part.c_str(), config_.FirmwarePath.c_str()) == 0;
                if (!saved)
                    std::remove(part.c_str());
            }
            where = (saved ? "saved to " : "could not be saved to ") + config_.FirmwarePath;
        }
        Note("firmware received: " + std::to_string(firmware_.size()) + " bytes in " + std::to_string(blocks) +
             " blocks, " + where);
    } else if (status == SimXmodemReceiver::Status::Cancelled) {
        Note("firmware transfer cancelled by the sender after " + std::to_string(blocks) + " blocks");
    } else {
        Note("loader gave up after " + std::to_string(blocks) + " blocks");
    }
    mode_ = Mode::Normal;
    xmodem_.reset();
}

void SimMachine::Dump(uint32_t start, long words)
{
    const long records = std::clamp<long>(words / 4, 0, kDumpRecordLimit);
    out_.reserve(out_.size() + static_cast<size_t>(records) * 18);
    for (long r = 0; r < records; ++r) {
        const uint32_t address = start + static_cast<uint32_t>(r) * 16;
        for (uint32_t k = 0; k < 4; ++k)
            PutWord(out_, MemoryWord(address + 4 * k));
        out_ += '\r'; // not examined by the reader
        out_ += '\n';
    }
    Note("memory dump of " + std::to_string(records) + " records from " + std::to_string(start));
}

void SimMachine::MotorRecords(long n)
{
    const long records = std::clamp<long>(n / 32, 1, 1000);
    out_ += "motor data " + std::to_string(n) + "\r\n";
    for (long i = 0; i < records; ++i) {
        const double t = static_cast<double>(i) / 25.0;
        PutWord(out_, static_cast<uint32_t>(i + 1));
        PutWord(out_, static_cast<uint32_t>(2000 + std::lround(800 * std::sin(t))));
        PutWord(out_, static_cast<uint32_t>(i + 1));
        PutWord(out_, static_cast<uint32_t>(2000 + std::lround(790 * std::sin(t - 0.05))));
        out_ += "\r\n";
    }
}

} // namespace grittor::sim
