// The job queue's file: a JSON document in the settings folder with, for
// every job, its plot file (with size and modification time), material,
// alignment record, border group and size.  It is written whole to a
// temporary file that then replaces the old one, so a crash leaves either
// the old queue or the new one, never half of one.
#pragma once

#include "operation/QueueList.h"

#include <string>
#include <vector>

namespace grittor {

struct TQueueFileJob {
    std::string FileName;
    std::string MaterialName;
    int Material = -1;
    int BorderGroupIndex = -1;
    TPlacement DigitizedRecord;
    long double Width = 0;
    long double Height = 0;
    long double Multiplier = 1; // the image multiplier the plot was read with
    TPlotStamp Stamp;
    bool Done = false;
};

struct TQueueFile {
    std::string Saved; // when, ISO 8601 local time
    std::vector<TQueueFileJob> Jobs;
    int PendingCount() const;
};

TQueueFileJob FileJobOf(const TQueueImage &job);
std::string QueueToJson(const TQueueFile &file);
// False with `problem` when the text is not a queue file.
bool QueueFromJson(const std::string &text, TQueueFile &file, std::string &problem);
// Writes atomically; false with `error`.
bool WriteQueueFile(const std::string &path, const TQueueFile &file, std::string &error);

enum class TQueueFileState { Absent, Read, Corrupt };
struct TQueueFileRead {
    TQueueFileState State = TQueueFileState::Absent;
    TQueueFile File;
    std::string Problem; // what was wrong with a corrupt file
    std::string KeptAs;  // where the corrupt file was moved (path + ".bad")
};
// Reads the queue file.  A corrupt one is moved aside to path + ".bad"
// (replacing an older one), so it is reported once and not read again.
TQueueFileRead ReadQueueFile(const std::string &path);

// The job again from its record: the plot is read anew and its outlines
// collected when the file is unchanged; otherwise the job is listed as
// missing.  The material is found by name (its index may have moved).
std::unique_ptr<TQueueImage> RestoreJob(const TQueueFileJob &saved, const TMaterialLibrary &materials);

// "Restore 3 queued jobs from 2026-12-09 14:05?"
std::string RestoreQuestion(int count, const std::string &saved);

} // namespace grittor
