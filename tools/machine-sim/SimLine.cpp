#include "SimLine.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace grittor::sim {

double LineBytesPerSecond(double baud)
{
    return baud > 0 ? baud / 10.0 : 0;
}

TokenBucket::TokenBucket(double bytesPerSecond, double burst) : rate_(bytesPerSecond / 1000.0), burst_(burst) {}

void TokenBucket::Reset(double nowMs)
{
    budget_ = 0;
    lastMs_ = nowMs;
}

void TokenBucket::Refill(double nowMs)
{
    if (lastMs_ < 0)
        lastMs_ = nowMs;
    if (nowMs > lastMs_) {
        budget_ += (nowMs - lastMs_) * rate_;
        lastMs_ = nowMs;
    }
}

size_t TokenBucket::Available(double nowMs)
{
    if (Unlimited())
        return static_cast<size_t>(1) << 20;
    Refill(nowMs);
    return budget_ >= 1 ? static_cast<size_t>(budget_) : 0;
}

void TokenBucket::Consume(size_t n)
{
    if (!Unlimited())
        budget_ -= static_cast<double>(n);
}

void TokenBucket::Idle(double nowMs)
{
    if (Unlimited())
        return;
    Refill(nowMs);
    budget_ = std::min(budget_, burst_);
}

double TokenBucket::MsUntilNext(double nowMs)
{
    if (Unlimited())
        return 0;
    Refill(nowMs);
    if (budget_ >= 1)
        return 0;
    return (1 - budget_) / rate_;
}

namespace {
bool ParseProbability(const std::string &text, double &p)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str())
        return false;
    if (*end == '%') {
        v /= 100.0;
        ++end;
    }
    if (*end != '\0' || !(v >= 0) || v > 1)
        return false;
    p = v;
    return true;
}

bool ParseLong(const std::string &text, long &v)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    v = std::strtol(text.c_str(), &end, 10);
    return *end == '\0';
}
} // namespace

ControlCommand ParseControl(const std::string &line)
{
    std::istringstream in(line);
    std::string word;
    ControlCommand c;
    if (!(in >> word)) {
        c.kind = ControlCommand::Empty;
        return c;
    }
    std::string a, b, extra;
    in >> a >> b >> extra;
    auto fail = [&](const std::string &why) {
        c.kind = ControlCommand::Invalid;
        c.error = why;
        return c;
    };
    if (word == "load" && a.empty()) {
        c.kind = ControlCommand::Load;
    } else if (word == "quit" && a.empty()) {
        c.kind = ControlCommand::Quit;
    } else if (word == "stats" && a.empty()) {
        c.kind = ControlCommand::Stats;
    } else if (word == "help") {
        c.kind = ControlCommand::Help;
    } else if (word == "move") {
        if (!ParseLong(a, c.x) || !ParseLong(b, c.y) || !extra.empty())
            return fail("usage: move X Y (plotter units)");
        c.kind = ControlCommand::Move;
    } else if (word == "eol") {
        if ((a != "cr" && a != "crlf" && a != "none") || !b.empty())
            return fail("usage: eol cr|crlf|none");
        c.kind = ControlCommand::Eol;
        c.value = a;
    } else if (word == "set") {
        if (a.empty())
            return fail("usage: set NAME VALUE");
        c.kind = ControlCommand::Set;
        c.name = a;
        // The value is the rest of the line after the name (may hold blanks).
        const size_t at = line.find(a, line.find("set") + 3);
        c.value = line.substr(at + a.size());
        const size_t first = c.value.find_first_not_of(" \t");
        c.value = first == std::string::npos ? std::string() : c.value.substr(first);
    } else if (word == "fault") {
        FaultState f;
        if (a == "none" && b.empty()) {
            f.kind = FaultState::None;
        } else if (a == "silent" && b.empty()) {
            f.kind = FaultState::Silent;
        } else if (a == "hangup" && b.empty()) {
            f.kind = FaultState::Hangup;
        } else if (a == "nak" && b.empty()) {
            f.kind = FaultState::Nak;
        } else if (a == "slow") {
            long ms = 0;
            if (!ParseLong(b, ms) || ms < 0 || ms > 600000 || !extra.empty())
                return fail("usage: fault slow MS");
            f.kind = FaultState::Slow;
            f.slowMs = static_cast<int>(ms);
        } else if (a == "garbage" || a == "drop") {
            if (!ParseProbability(b, f.probability) || !extra.empty())
                return fail("usage: fault " + a + " P (0..1 or a percentage)");
            f.kind = a == "garbage" ? FaultState::Garbage : FaultState::Drop;
        } else {
            return fail("usage: fault silent|slow MS|garbage P|drop P|nak|hangup|none");
        }
        c.kind = ControlCommand::Fault;
        c.fault = f;
    } else {
        return fail("unknown command '" + word + "' (try help)");
    }
    return c;
}

FaultLine::FaultLine(uint32_t seed) : rng_(seed) {}

bool FaultLine::Chance()
{
    if (state.probability <= 0)
        return false;
    return std::uniform_real_distribution<double>(0.0, 1.0)(rng_) < state.probability;
}

uint8_t FaultLine::NoiseByte()
{
    for (;;) {
        const auto b = static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 255)(rng_));
        if (b != 0x11 && b != 0x13)
            return b;
    }
}

std::string FaultLine::Transform(const std::string &bytes)
{
    switch (state.kind) {
    case FaultState::Silent:
        return {};
    case FaultState::Drop: {
        std::string out;
        out.reserve(bytes.size());
        for (char c : bytes)
            if (!Chance())
                out += c;
        return out;
    }
    case FaultState::Garbage: {
        std::string out = bytes;
        for (char &c : out)
            if (Chance())
                c = static_cast<char>(NoiseByte());
        return out;
    }
    default:
        return bytes;
    }
}

std::string FaultLine::Noise(size_t received)
{
    std::string out;
    if (state.kind != FaultState::Garbage)
        return out;
    for (size_t i = 0; i < received; ++i)
        if (Chance())
            out += static_cast<char>(NoiseByte());
    return out;
}

std::string Readable(const std::string &bytes)
{
    static const char *const hex = "0123456789ABCDEF";
    std::string out;
    for (char ch : bytes) {
        const auto c = static_cast<uint8_t>(ch);
        if (c == 27)
            out += "<ESC>";
        else if (c == 13)
            out += "<CR>";
        else if (c == 10)
            out += "<LF>";
        else if (c == 0)
            out += "<NUL>";
        else if (c >= 32 && c <= 126)
            out += ch;
        else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

} // namespace grittor::sim
