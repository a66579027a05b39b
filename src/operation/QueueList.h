// The job queue's data: the queued jobs, each with everything needed to send
// it again (its plot, outlines and blast paths, digitized record, border
// group and material), and the list of them.  The list writes itself to its
// file at every change (QueueStore.h), so that a crash or a power cut does
// not lose an hour of placing stencils.
#pragma once

#include "geometry/Placement.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace grittor {

class TBlastJob;
class THpglFile;
class TMaterialLibrary;

// What the send commands read (the main window holds one; the queue puts a
// job's into it for the send and takes it back after).
struct TJobContext {
    std::unique_ptr<THpglFile> Plot;
    std::unique_ptr<TBlastJob> Outlines;
    std::string FileName;
    TPlacement DigitizedRecord;
    int BorderGroupIndex = -1;
    bool DigitizedFlag = false;
    int Material = -1; // the selected material
    TJobContext();
    ~TJobContext();
    TJobContext(TJobContext &&) noexcept;
    TJobContext &operator=(TJobContext &&) noexcept;
};

// The plot file as it was when the job was queued: a restored job runs only
// from the very same file.
struct TPlotStamp {
    int64_t Size = -1;       // -1: the file is not there
    int64_t ModifiedMs = 0;  // since the epoch
    bool operator==(const TPlotStamp &) const = default;
};
TPlotStamp StampOf(const std::string &file);

struct TQueueImage {
    long double Height = 0; // inches
    long double Width = 0;  // inches
    long double Multiplier = 1; // the image multiplier the plot was read with
    std::string FileName;
    std::unique_ptr<TBlastJob> Outlines;
    std::unique_ptr<THpglFile> Plot;
    int Material = -1;
    int BorderGroupIndex = -1;
    TPlacement DigitizedRecord;
    // Kept with the job so that it can be restored after a restart.
    std::string MaterialName;
    TPlotStamp Stamp;
    bool Done = false;    // sent whole and the machine reported idle
    bool Missing = false; // restored, but its plot file is gone or changed: cannot run

    TQueueImage();
    ~TQueueImage();
    bool CanRun() const { return Plot && Outlines && !Missing; }
};

// The job's material in the library as it is now: found by the name it was
// queued with when the materials have moved since (one deleted, say), so
// that a job is never blasted with another material's pens; the index it
// was queued with when that name is gone.
int CurrentMaterial(const TQueueImage &job, const TMaterialLibrary &materials);

class TQueueList {
public:
    // `storePath`: the file the queue is kept in ("" keeps it in memory only).
    explicit TQueueList(std::string storePath = {});
    ~TQueueList();

    int Count() const { return static_cast<int>(jobs_.size()); }
    // nullptr when `index` is outside 0..Count()-1.
    TQueueImage *Get(int index) const;
    // Queues a plot: the job takes over the plot and its outlines.  Width
    // and height in inches.
    TQueueImage &Add(const std::string &fileName, std::unique_ptr<THpglFile> plot, long double width,
                     long double height, std::unique_ptr<TBlastJob> outlines, const TPlacement &record,
                     int borderGroupIndex, int material, const std::string &materialName);
    // A job made elsewhere (restoring).
    TQueueImage &Add(std::unique_ptr<TQueueImage> job);
    bool Remove(int index);
    void Clear();
    void MarkDone(int index);

    // ---- the file
    const std::string &StorePath() const { return path_; }
    void SetStorePath(std::string path) { path_ = std::move(path); }
    // Writes the queue (atomically); the changes above call it.  False with
    // SaveError() when the file could not be written.
    bool Save();
    // Call after changing a job's fields directly (the queue window's edits).
    bool Changed() { return Save(); }
    const std::string &SaveError() const { return saveError_; }
    // Told of every failed save (the window reports the first of a row).
    std::function<void(const std::string &error)> OnSaveFailed;
    // Counts the changes (each one saved, or kept in memory without a file):
    // the window tells by it whether its list is out of date.
    int SaveCount() const { return saves_; }

private:
    std::vector<std::unique_ptr<TQueueImage>> jobs_;
    std::string path_;
    std::string saveError_;
    int saves_ = 0;
};

// The program's queue, kept in "JobQueue.json" in the settings folder.
TQueueList &QueueList();
std::string QueueFilePath(const std::string &settingsFolder);

} // namespace grittor
