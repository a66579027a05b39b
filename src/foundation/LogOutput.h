// The debug log: one text file per installation, rotated by size and age
// into fifteen generations.  Nothing about it is ever shown as an error.
#pragma once

#include <QDateTime>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

namespace grittor {

class TLogOutput {
public:
    TLogOutput(const std::string &directory, const std::string &fileName);

    void SetDirectory(const std::string &text);
    void SetFileName(const std::string &text);
    void SetExtension(const std::string &text);

    // Appends text to the log.  Text without a carriage return waits in
    // Pending for the call that completes the line.  Never raises.  Of a
    // text longer than 64 KiB the first 64 KiB are kept, followed by a line
    // saying how many bytes were left out.
    void Write(const std::string &text, bool addTimestamp, bool addLineEnd);

    const std::string &Directory() const { return directory_; }
    const std::string &FileName() const { return fileName_; }
    const std::string &Extension() const { return extension_; }
    const std::string &FullPath() const { return fullPath_; }
    std::string GenerationPath(int n) const;

    int32_t MaxSize = 3145728;
    int32_t BackupCount = 15;
    int32_t MaxAgeDays = 7;

    bool Opened() const { return opened_; }
    QDateTime CreatedAt() const { return createdAt_; }
    std::string Pending() const;

    // "dd.hh:mm:ss.zzz" of the installed clock.
    static std::string Timestamp();

    struct FileCloser {
        void operator()(std::FILE *f) const;
    };
    static bool LooksTimeStamped(const std::string &text);

private:
    void Rollover();
    void UpdatePath();
    bool WriteLocked(const std::string &text);

    std::string directory_;
    std::string extension_;
    std::string fileName_;
    std::string fullPath_;
    bool opened_ = false;
    QDateTime createdAt_;
    std::string pending_;
    size_t pendingLeftOut_ = 0; // bytes of Pending beyond the entry limit
    bool rolloverDue_ = false;
    // The file stays open between writes for a second at a time, so a
    // burst of lines (a big plot logs one per outline) costs no open and
    // close per line; every line is flushed, so readers see whole lines.
    std::unique_ptr<std::FILE, FileCloser> handle_;
    int64_t handleOpenedMs_ = 0;
    // The file's size as the kept handle last found it plus what was
    // written through it since (-1: not known; asked once per handle).
    long handleBytes_ = -1;
    mutable std::mutex mutex_; // the interface thread and the receive thread both write
};

// The program's log, created on first use beside the executable (or in the
// per-user state folder when that folder cannot be written).
TLogOutput &LogOutput();

// The folder the program's log goes to when the executable sits in
// exeFolder: $GRITTOR_LOG_DIR when set, else exeFolder when it can be
// written, else $XDG_STATE_HOME/Grittor/ (~/.local/state/Grittor/), created
// on the way. Ends with "/".
std::string ChooseLogFolder(const std::string &exeFolder);

// Shorthand for the entry line every command handler writes.
inline void LogEntry(const std::string &text) { LogOutput().Write(text, true, true); }
// Appends text as it stands: no time stamp, no line end added.
inline void LogPiece(const std::string &text) { LogOutput().Write(text, false, false); }

} // namespace grittor
