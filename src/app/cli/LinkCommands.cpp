// grittor-cli query / send / xmodem: the machine link on a real port (or a
// simulator's pseudo-terminal).
#include "app/cli/CliCommand.h"
#include "app/cli/LinkCli.h"

#include "foundation/AbortFlags.h"
#include "link/MachineNumbers.h"
#include "link/PortPermission.h"
#include "link/SerialDevice.h"
#include "link/TSerial.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>

namespace grittor::cli {

namespace {

// C escapes: \e \r \n \t \\ \xHH \NNN (octal).
bool Unescape(const std::string &in, std::string &out, std::string &error)
{
    out.clear();
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            out += in[i];
            continue;
        }
        if (++i >= in.size()) {
            error = "text ends with a lone backslash";
            return false;
        }
        const char c = in[i];
        switch (c) {
        case 'e':
            out += '\x1b';
            break;
        case 'r':
            out += '\r';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case '\\':
            out += '\\';
            break;
        case 'x': {
            int v = 0, digits = 0;
            while (digits < 2 && i + 1 < in.size() && std::isxdigit(static_cast<unsigned char>(in[i + 1]))) {
                const char h = in[++i];
                v = v * 16 + (std::isdigit(static_cast<unsigned char>(h)) ? h - '0' : (std::tolower(h) - 'a' + 10));
                ++digits;
            }
            if (digits == 0) {
                error = "\\x needs hexadecimal digits";
                return false;
            }
            out += static_cast<char>(v);
            break;
        }
        default:
            if (c >= '0' && c <= '7') {
                int v = c - '0', digits = 1;
                while (digits < 3 && i + 1 < in.size() && in[i + 1] >= '0' && in[i + 1] <= '7') {
                    v = v * 8 + (in[++i] - '0');
                    ++digits;
                }
                out += static_cast<char>(v & 0xFF);
            } else {
                error = std::string("unknown escape \\") + c;
                return false;
            }
        }
    }
    return true;
}

struct LinkArgs {
    std::string port;
    int32_t baud = 38400;
    int64_t timeoutMs = -1;
    int64_t ackTimeoutMs = -1;
    int limit = 100;
    int tries = 10; // as many as the menu command makes
    bool binary = false;
    std::vector<std::string> rest;
};

bool ParseNumber(const std::string &text, long long &v)
{
    char *end = nullptr;
    errno = 0;
    v = std::strtoll(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && errno != ERANGE;
}

// Parses the shared options; false with a usage error already printed.
bool ParseLinkArgs(const std::vector<std::string> &args, LinkArgs &a, int &rc)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &s = args[i];
        auto value = [&](long long &v, const char *what) {
            if (i + 1 >= args.size() || !ParseNumber(args[i + 1], v)) {
                rc = UsageError(std::string(what) + " needs a whole number");
                return false;
            }
            ++i;
            return true;
        };
        long long v = 0;
        if (s == "--port") {
            if (i + 1 >= args.size()) {
                rc = UsageError("--port needs a device");
                return false;
            }
            a.port = args[++i];
        } else if (s == "--baud") {
            if (!value(v, "--baud"))
                return false;
            if (v != 4800 && v != 9600 && v != 19200 && v != 38400) {
                rc = UsageError("--baud " + args[i] + ": the machine's line runs at 4800, 9600, 19200 or 38400");
                return false;
            }
            a.baud = static_cast<int32_t>(v);
        } else if (s == "--timeout") {
            if (!value(v, "--timeout"))
                return false;
            if (v < 0) {
                rc = UsageError("--timeout must not be negative");
                return false;
            }
            a.timeoutMs = v;
        } else if (s == "--ack-timeout") {
            if (!value(v, "--ack-timeout"))
                return false;
            if (v < 0) {
                rc = UsageError("--ack-timeout must not be negative");
                return false;
            }
            a.ackTimeoutMs = v;
        } else if (s == "--tries") {
            if (!value(v, "--tries"))
                return false;
            if (const std::string problem = CheckCount(v, 1, 1000, "--tries"); !problem.empty()) {
                rc = UsageError(problem);
                return false;
            }
            a.tries = static_cast<int>(v);
        } else if (s == "--limit") {
            if (!value(v, "--limit"))
                return false;
            if (v < 1 || v > 1000000) {
                rc = UsageError("--limit must be 1..1000000");
                return false;
            }
            a.limit = static_cast<int>(v);
        } else if (s == "--binary") {
            a.binary = true;
        } else if (s.size() > 2 && s.compare(0, 2, "--") == 0) {
            rc = UsageError("unknown option " + s);
            return false;
        } else {
            a.rest.push_back(s);
        }
    }
    if (a.port.empty()) {
        rc = UsageError("--port DEVICE is required");
        return false;
    }
    return true;
}

extern "C" void OnInterrupt(int)
{
    GetAbortFlags().Cancelled = true;
}

std::unique_ptr<TSerial> OpenLink(const LinkArgs &a, int &rc)
{
    std::signal(SIGINT, OnInterrupt); // Ctrl-C cancels like the Cancel command
    return OpenCliLink(a.port, a.baud, a.timeoutMs, rc);
}

// The whole file (or stdin for "-"); false with `error` set.
bool ReadInput(const std::string &name, std::string &data, std::string &error)
{
    if (name == "-") {
        data.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return true;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(name, ec)) {
        error = name + " is a folder";
        return false;
    }
    std::ifstream in(name, std::ios::binary);
    if (!in) {
        error = "cannot read " + name;
        return false;
    }
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "cannot read " + name + " to its end";
        return false;
    }
    return true;
}

int Query(const std::vector<std::string> &args)
{
    LinkArgs a;
    int rc = 0;
    if (!ParseLinkArgs(args, a, rc))
        return rc;
    if (a.rest.size() != 1)
        return UsageError("query needs exactly one TEXT");
    std::string command, error;
    if (!Unescape(a.rest[0], command, error))
        return UsageError(error);
    if (const std::string problem = CheckMachineText(command); !problem.empty())
        return UsageError("not sent: " + problem);
    auto link = OpenLink(a, rc);
    if (!link)
        return rc;
    link->SetBinaryReplies(a.binary);
    std::string reply;
    link->query(command, a.limit, reply);
    std::fwrite(reply.data(), 1, reply.size(), stdout);
    std::printf("\n%s\n", ReplyStatusName(link->LastStatus()));
    // No answer is a failure, whatever was printed.
    return link->LastStatus() == RsTimeout ? 1 : 0;
}

int Send(const std::vector<std::string> &args)
{
    LinkArgs a;
    int rc = 0;
    if (!ParseLinkArgs(args, a, rc))
        return rc;
    if (a.rest.size() != 1)
        return UsageError("send needs one FILE (or - for stdin)");
    std::string data, error;
    if (!ReadInput(a.rest[0], data, error))
        return UsageError(error);
    if (const std::string problem = CheckMachineText(data); !problem.empty())
        return UsageError("not sent: " + a.rest[0] + ", " + problem);
    auto link = OpenLink(a, rc);
    if (!link)
        return rc;
    link->send_string(data);
    link->flush_output();
    if (GetAbortFlags().Any()) {
        std::fprintf(stderr, "grittor-cli: send cancelled\n");
        return 1;
    }
    if (!link->output_empty() || !link->port_open()) {
        std::fprintf(stderr, "grittor-cli: the port closed before everything was sent\n");
        return 1;
    }
    std::printf("%zu\n", data.size());
    return 0;
}

// "No Ack at EOF (answer byte 0x43 to block 5)" when an unexpected answer
// ended the transfer, else the result's name.
std::string DescribeTransfer(const TSerial &link, uint8_t result)
{
    std::string text = XmodemResultName(result);
    if (result == XmNoAckAtEof && link.UnexpectedAnswer() >= 0) {
        char detail[64];
        std::snprintf(detail, sizeof detail, " (answer byte 0x%02X to block %d)", link.UnexpectedAnswer(),
                      static_cast<int>(link.BlockNumber()));
        text += detail;
    }
    return text;
}

int Xmodem(const std::vector<std::string> &args)
{
    LinkArgs a;
    int rc = 0;
    if (!ParseLinkArgs(args, a, rc))
        return rc;
    if (a.rest.size() != 1)
        return UsageError("xmodem needs one FILE");
    std::string data, error;
    if (!ReadInput(a.rest[0], data, error))
        return UsageError(error);
    // The loader command would leave the controller waiting for a transfer
    // that never comes.
    if (data.empty())
        return UsageError("the firmware file " + a.rest[0] + " is empty; the loader was not started");
    auto link = OpenLink(a, rc);
    if (!link)
        return rc;
    if (a.ackTimeoutMs >= 0)
        link->SetAckTimeout(a.ackTimeoutMs);
    link->send_string("\x1b.cload38400;1:");
    uint8_t result = XmNoNak;
    for (int attempt = 1; attempt <= a.tries && !GetAbortFlags().Any(); ++attempt) {
        result = link->send_xmodem(data, "Transmit firmware to Laser Engraver");
        if (result == XmSuccess)
            break;
        std::fprintf(stderr, "grittor-cli: failed on try %d: %s\n", attempt, DescribeTransfer(*link, result).c_str());
    }
    link->flush_output(); // the closing EOTs (or the CANs) go out before the port closes
    if (result == XmSuccess && (!link->output_empty() || !link->port_open())) {
        std::fprintf(stderr, "grittor-cli: the port closed before the end of the transfer was sent\n");
        result = XmNoAck;
    }
    std::printf("%s\nNakCount %d\n", XmodemResultName(result), link->NakCount());
    if (result == XmNoAckAtEof && link->UnexpectedAnswer() >= 0)
        std::printf("Unexpected answer byte 0x%02X to block %d\n", link->UnexpectedAnswer(),
                    static_cast<int>(link->BlockNumber()));
    return result == XmSuccess ? 0 : 1;
}

const CliRegistration queryCommand("query", "query --port DEVICE [--timeout MS] [--limit N] [--binary] TEXT", Query);
const CliRegistration sendCommand("send", "send --port DEVICE [--baud N] FILE|-", Send);
const CliRegistration xmodemCommand("xmodem", "xmodem --port DEVICE [--timeout MS] [--ack-timeout MS] [--tries N] FILE",
                                    Xmodem);

} // namespace

std::unique_ptr<TSerial> OpenCliLink(const std::string &port, int32_t baud, int64_t timeoutMs, int &rc)
{
    SetPortOverride("com1", port);
    auto link = std::make_unique<TSerial>("com1", 20000, 0, 8, 0, baud);
    if (!link->OpenedOk()) {
        const int error = link->OpenFailureError();
        std::fprintf(stderr, "grittor-cli: Unable to open %s: %s\n", port.c_str(), link->OpenFailureReason().c_str());
        rc = (error == ENOTTY || error == EISDIR) ? 2 : 1;
        if (const std::string hint = TakePortPermissionHint(); !hint.empty())
            std::fprintf(stderr, "%s\n", hint.c_str());
        return nullptr;
    }
    if (timeoutMs >= 0)
        link->set_timeout(timeoutMs);
    return link;
}

} // namespace grittor::cli
