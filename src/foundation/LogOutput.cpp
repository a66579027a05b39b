#include "foundation/LogOutput.h"

#include "foundation/Clock.h"
#include "foundation/DataFiles.h"
#include "foundation/KorvaneAclApi.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string_view>
#include <unistd.h>

namespace grittor {

void TLogOutput::FileCloser::operator()(std::FILE *f) const
{
    if (f)
        std::fclose(f);
}

namespace {

using File = std::unique_ptr<std::FILE, TLogOutput::FileCloser>;
// How long an open handle is trusted before the path is opened again (the
// file may have been moved or deleted by someone else meanwhile).
constexpr int64_t kHandleLifeMs = 1000;
// The most of one entry the log keeps.  A job pass of a big plot is logged
// as one entry of tens of megabytes; its points are in blowpattern.xls, and
// a log of a few megabytes must not be one pass.
constexpr size_t kMaxEntry = 64 * 1024;

std::string LeftOutNote(size_t bytes)
{
    return "... " + std::to_string(bytes) + " more bytes of this entry left out of the log\r\n";
}

File OpenFile(const std::string &path, const char *mode) { return File(std::fopen(path.c_str(), mode)); }

// Lines are written through append handles: another program (or a second
// copy of this one) writing the same file meanwhile never has its lines
// overwritten by a handle that is still positioned where it last wrote.

long FileSize(std::FILE *f)
{
    if (std::fseek(f, 0, SEEK_END) != 0)
        return -1;
    return std::ftell(f);
}

bool Put(std::FILE *f, const std::string &s) { return std::fwrite(s.data(), 1, s.size(), f) == s.size(); }

std::string HeaderLine(const QDateTime &now)
{
    return "File Created " + now.toString("MM/dd/yyyy").toStdString() + "\r\n";
}

} // namespace

TLogOutput::TLogOutput(const std::string &directory, const std::string &fileName)
{
    SetDirectory(directory);
    SetFileName(fileName);
    SetExtension("log");
    MaxSize = 3145728;
    BackupCount = 15;
    MaxAgeDays = 7;
    opened_ = false;
}

void TLogOutput::UpdatePath()
{
    const std::string path = directory_ + fileName_ + "." + extension_;
    // Another file: the next complete line examines or creates it afresh
    // (otherwise that line would be lost trying to reopen a file that was
    // never opened).
    if (path != fullPath_) {
        opened_ = false;
        handle_.reset();
    }
    fullPath_ = path;
}

void TLogOutput::SetDirectory(const std::string &text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    directory_ = text.empty() ? "./" : text;
    if (directory_.back() != '/')
        directory_ += '/';
    UpdatePath();
}

void TLogOutput::SetFileName(const std::string &text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    fileName_ = text;
    UpdatePath();
}

void TLogOutput::SetExtension(const std::string &text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    extension_ = text;
    UpdatePath();
}

std::string TLogOutput::GenerationPath(int n) const
{
    return directory_ + fileName_ + std::to_string(n) + "." + extension_;
}

std::string TLogOutput::Pending() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_;
}

std::string TLogOutput::Timestamp()
{
    // Local time asks the system for the time zone each time (a look at
    // its file): once a minute is enough, as zones change their offset on
    // whole minutes.  A big plot's collection logs a thousand lines.
    const int64_t ms = GetClock().WallMs();
    const int64_t minute = (ms >= 0 ? ms : ms - 59999) / 60000;
    thread_local int64_t cachedMinute = INT64_MIN;
    thread_local std::string cachedDayHourMinute;
    if (minute != cachedMinute) {
        cachedDayHourMinute = QDateTime::fromMSecsSinceEpoch(minute * 60000).toString("dd.hh:mm").toStdString();
        cachedMinute = minute;
    }
    const auto within = static_cast<int>(ms - minute * 60000);
    char rest[16];
    std::snprintf(rest, sizeof rest, ":%02d.%03d", within / 1000, within % 1000);
    return cachedDayHourMinute + rest;
}

bool TLogOutput::LooksTimeStamped(const std::string &text)
{
    return text.size() >= 3 && text[0] >= '0' && text[0] <= '3' && text[2] == '.';
}

void TLogOutput::Write(const std::string &textIn, bool addTimestamp, bool addLineEnd)
{
    try {
        std::string_view body = textIn;
        size_t leftOut = 0;
        if (body.size() > kMaxEntry) {
            leftOut = body.size() - kMaxEntry;
            body = body.substr(0, kMaxEntry);
            if (body.back() == '\r') { // a line end is never split
                body.remove_suffix(1);
                ++leftOut;
            }
        }
        std::string text;
        if (addTimestamp && !LooksTimeStamped(textIn))
            text = Timestamp() + ":";
        text += body;
        if (leftOut > 0) {
            if (text.empty() || text.back() != '\n')
                text += "\r\n";
            text += LeftOutNote(leftOut);
        } else if (addLineEnd) {
            text += "\r\n";
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (text.find('\r') == std::string::npos) {
            // Pieces without a line end wait here; they are held to the same
            // limit as an entry.
            pending_ += text;
            if (pending_.size() > kMaxEntry) {
                pendingLeftOut_ += pending_.size() - kMaxEntry;
                pending_.resize(kMaxEntry);
            }
            return;
        }
        std::string out = std::move(pending_);
        if (pendingLeftOut_ > 0) {
            out += "\r\n" + LeftOutNote(pendingLeftOut_);
            pendingLeftOut_ = 0;
        }
        out += text;
        pending_.clear();
        WriteLocked(out);
    } catch (...) {
        // The log never disturbs the program.
    }
}

bool TLogOutput::WriteLocked(const std::string &text)
{
    const int64_t nowMs = GetClock().NowMs();
    bool created = false;
    File f;
    if (!opened_) {
        const QDateTime now = GetClock().WallNow();
        handle_.reset();
        handleBytes_ = -1;
        std::error_code ec;
        const bool exists = std::filesystem::exists(fullPath_, ec);
        if (exists) {
            File r = OpenFile(fullPath_, "rb");
            if (!r)
                return false; // stays not opened; the next call tries again
            const long size = FileSize(r.get());
            if (size < 23) {
                // Too short to hold a header: the header goes over it.
                createdAt_ = now;
                r.reset();
                File h = OpenFile(fullPath_, "r+b");
                if (!h)
                    return false;
                Put(h.get(), HeaderLine(now));
                h.reset();
                f = OpenFile(fullPath_, "ab");
                if (!f)
                    return false;
            } else {
                char date[11] = {0};
                std::fseek(r.get(), 13, SEEK_SET);
                const size_t got = std::fread(date, 1, 10, r.get());
                const QDate d = QDate::fromString(QString::fromLatin1(date, static_cast<int>(got)), "MM/dd/yyyy");
                if (d.isValid()) {
                    createdAt_ = QDateTime(d, QTime(0, 0));
                    if (createdAt_.msecsTo(now) > static_cast<qint64>(MaxAgeDays) * 86400000LL)
                        rolloverDue_ = true;
                } else {
                    createdAt_ = now;
                }
                r.reset();
                f = OpenFile(fullPath_, "ab");
                if (!f)
                    return false;
                if (FileSize(f.get()) > MaxSize)
                    rolloverDue_ = true;
            }
        } else {
            createdAt_ = now;
            f = OpenFile(fullPath_, "ab");
            if (!f)
                return false;
            created = true;
            Put(f.get(), HeaderLine(now));
        }
        Put(f.get(), "File Opened\r\n");
        opened_ = true;
        handleOpenedMs_ = nowMs;
    } else if (handle_ && nowMs - handleOpenedMs_ < kHandleLifeMs && nowMs >= handleOpenedMs_) {
        f = std::move(handle_);
        // After an append the position is the end of the file as it was
        // then: close enough for the size limit.  Asked of the system once
        // (a call each line was as dear as the line), then counted.
        if (handleBytes_ < 0)
            handleBytes_ = std::ftell(f.get());
        if (handleBytes_ > MaxSize)
            rolloverDue_ = true;
    } else {
        handle_.reset();
        handleBytes_ = -1;
        // A file removed meanwhile is not silently recreated without its
        // header: the line is dropped and the next one starts a new file.
        std::error_code ec;
        if (std::filesystem::exists(fullPath_, ec))
            f = OpenFile(fullPath_, "ab");
        if (!f) {
            opened_ = false;
            return false;
        }
        handleOpenedMs_ = nowMs;
        if (FileSize(f.get()) > MaxSize)
            rolloverDue_ = true;
    }
    Put(f.get(), text);
    std::fflush(f.get());
    if (handleBytes_ >= 0)
        handleBytes_ += static_cast<long>(text.size());
    if (created) {
        f.reset();
        GrantEveryone(fullPath_);
    } else if (!rolloverDue_) {
        handle_ = std::move(f);
    }
    f.reset();
    if (rolloverDue_)
        Rollover();
    return true;
}

void TLogOutput::Rollover()
{
    handle_.reset();
    const int n = BackupCount;
    std::remove(GenerationPath(n).c_str());
    for (int k = n - 1; k >= 1; --k)
        std::rename(GenerationPath(k).c_str(), GenerationPath(k + 1).c_str());
    std::rename(fullPath_.c_str(), GenerationPath(1).c_str());
    opened_ = false;
    rolloverDue_ = false;
}

// ------------------------------------------------------------- accessor ---

namespace {

std::string StateFolder()
{
    const char *state = std::getenv("XDG_STATE_HOME");
    std::string base;
    if (state && *state)
        base = state;
    else if (const char *home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.local/state";
    else
        base = "/tmp";
    return base + "/Grittor/";
}

// Tried, not judged from the mode bits: access() says yes to root for
// folders such as /proc where no file can be made.
bool CanCreateFilesIn(const std::string &dir)
{
    std::string probe = (dir.empty() ? std::string(".") : dir) + "/.grittor-probe-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

std::unique_ptr<TLogOutput> MakeLog()
{
    const std::string path = ExecutablePath();
    const std::filesystem::path exe(path);
    const std::string dir = path.empty() ? std::string("./") : exe.parent_path().string() + "/";
    std::string name = path.empty() ? std::string("grittor") : exe.filename().string();
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0)
        name.resize(name.size() - 4);
    return std::make_unique<TLogOutput>(ChooseLogFolder(dir), name);
}

} // namespace

std::string ChooseLogFolder(const std::string &exeFolder)
{
    std::string dir = exeFolder;
    if (const char *over = std::getenv("GRITTOR_LOG_DIR"); over && *over) {
        dir = over;
    } else if (!CanCreateFilesIn(dir)) {
        // An installed program cannot write beside itself; keep the log per user.
        dir = StateFolder();
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
    }
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

TLogOutput &LogOutput()
{
    static std::unique_ptr<TLogOutput> log = MakeLog();
    return *log;
}

} // namespace grittor
