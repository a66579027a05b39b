#include "operation/QueueList.h"

#include "foundation/LogOutput.h"
#include "foundation/option.h"
#include "geometry/BlastJob.h"
#include "hpgl/hpgl.h"
#include "operation/QueueStore.h"
#include "pens/MaterialLibrary.h"

#include <QDateTime>
#include <QFileInfo>

namespace grittor {

TJobContext::TJobContext() = default;
TJobContext::~TJobContext() = default;
TJobContext::TJobContext(TJobContext &&) noexcept = default;
TJobContext &TJobContext::operator=(TJobContext &&) noexcept = default;

TQueueImage::TQueueImage() = default;
TQueueImage::~TQueueImage() = default;

TPlotStamp StampOf(const std::string &file)
{
    TPlotStamp s;
    const QFileInfo info(QString::fromLocal8Bit(file.data(), static_cast<qsizetype>(file.size())));
    if (!info.exists() || !info.isFile())
        return s;
    s.Size = info.size();
    s.ModifiedMs = info.lastModified().toMSecsSinceEpoch();
    return s;
}

int CurrentMaterial(const TQueueImage &job, const TMaterialLibrary &materials)
{
    if (job.MaterialName.empty() ||
        (materials.IsMaterialIndex(job.Material) && materials.MaterialName(job.Material) == job.MaterialName))
        return job.Material;
    const int found = materials.FindMaterial(job.MaterialName);
    return found >= 0 ? found : job.Material;
}

TQueueList::TQueueList(std::string storePath) : path_(std::move(storePath)) {}
TQueueList::~TQueueList() = default;

TQueueImage *TQueueList::Get(int index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return jobs_[static_cast<size_t>(index)].get();
}

TQueueImage &TQueueList::Add(const std::string &fileName, std::unique_ptr<THpglFile> plot, long double width,
                             long double height, std::unique_ptr<TBlastJob> outlines, const TPlacement &record,
                             int borderGroupIndex, int material, const std::string &materialName)
{
    auto job = std::make_unique<TQueueImage>();
    job->FileName = fileName;
    job->Plot = std::move(plot);
    job->Width = width;
    job->Height = height;
    job->Outlines = std::move(outlines);
    job->DigitizedRecord = record;
    job->BorderGroupIndex = borderGroupIndex;
    job->Material = material;
    job->MaterialName = materialName;
    job->Stamp = StampOf(fileName);
    if (job->Plot)
        job->Multiplier = job->Plot->Multiplier();
    return Add(std::move(job));
}

TQueueImage &TQueueList::Add(std::unique_ptr<TQueueImage> job)
{
    jobs_.push_back(std::move(job));
    Save();
    return *jobs_.back();
}

bool TQueueList::Remove(int index)
{
    if (!Get(index))
        return false;
    jobs_.erase(jobs_.begin() + index);
    Save();
    return true;
}

void TQueueList::Clear()
{
    jobs_.clear();
    Save();
}

void TQueueList::MarkDone(int index)
{
    if (TQueueImage *job = Get(index)) {
        job->Done = true;
        Save();
    }
}

bool TQueueList::Save()
{
    ++saves_;
    if (path_.empty())
        return true;
    TQueueFile file;
    file.Saved = QDateTime::currentDateTime().toString(Qt::ISODate).toStdString();
    for (const auto &job : jobs_)
        file.Jobs.push_back(FileJobOf(*job));
    std::string error;
    if (WriteQueueFile(path_, file, error)) {
        saveError_.clear();
        return true;
    }
    saveError_ = error;
    LogEntry("Job queue not saved: " + error);
    if (OnSaveFailed)
        OnSaveFailed(error);
    return false;
}

std::string QueueFilePath(const std::string &settingsFolder)
{
    std::string folder = settingsFolder;
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder + "JobQueue.json";
}

TQueueList &QueueList()
{
    static TQueueList list(QueueFilePath(Options().SettingsFolder()));
    return list;
}

} // namespace grittor
