#include "operation/QueueStore.h"

#include "foundation/LogOutput.h"
#include "foundation/utils.h"
#include "geometry/BlastJob.h"
#include "hpgl/hpgl.h"
#include "pens/MaterialLibrary.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <charconv>
#include <cmath>

namespace grittor {

namespace {

constexpr int FormatVersion = 1;

QString Q(const std::string &s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string S(const QString &s) { return s.toUtf8().toStdString(); }

// Extended values as text that reads back to the same bits, whatever the
// locale.
QString Number(long double v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return QString::fromLatin1(buf, static_cast<qsizetype>(r.ptr - buf));
}

bool ReadNumber(const QJsonValue &value, long double &out)
{
    if (value.isDouble()) {
        out = value.toDouble();
        return true;
    }
    if (!value.isString())
        return false;
    long double v = 0;
    if (!ParseExtended(S(value.toString()), v) || !std::isfinite(v))
        return false;
    out = v;
    return true;
}

QJsonArray Point(const TExtendedPoint &p) { return QJsonArray{Number(p.x), Number(p.y)}; }

bool ReadPoint(const QJsonValue &value, TExtendedPoint &p)
{
    const QJsonArray a = value.toArray();
    return value.isArray() && a.size() == 2 && ReadNumber(a[0], p.x) && ReadNumber(a[1], p.y);
}

const char *RoadName(TPlacementRoad road)
{
    switch (road) {
    case TPlacementRoad::LoadKey:
        return "load key";
    case TPlacementRoad::ThreePoints:
        return "three points";
    default:
        return "origin";
    }
}

bool ReadRoad(const QString &name, TPlacementRoad &road)
{
    for (TPlacementRoad r : {TPlacementRoad::Origin, TPlacementRoad::LoadKey, TPlacementRoad::ThreePoints})
        if (name == QLatin1String(RoadName(r))) {
            road = r;
            return true;
        }
    return false;
}

bool ReadJob(const QJsonObject &o, TQueueFileJob &job, std::string &problem)
{
    const QJsonObject rec = o.value("record").toObject();
    TAlignPoints &r = job.DigitizedRecord.Record;
    const bool ok = o.value("file").isString() && o.value("material").isString() &&
                    ReadRoad(rec.value("road").toString(), job.DigitizedRecord.Road) &&
                    ReadPoint(rec.value("origin"), r.Origin) && ReadPoint(rec.value("ref"), r.Ref) &&
                    ReadPoint(rec.value("skew"), r.Skew) && ReadPoint(rec.value("stretch"), r.Stretch) &&
                    ReadPoint(rec.value("offset"), r.Offset) && ReadNumber(o.value("width"), job.Width) &&
                    ReadNumber(o.value("height"), job.Height) && ReadNumber(o.value("multiplier"), job.Multiplier);
    if (!ok) {
        problem = "a job without its file, material or alignment record";
        return false;
    }
    job.FileName = S(o.value("file").toString());
    job.MaterialName = S(o.value("material").toString());
    job.Material = o.value("materialIndex").toInt(-1);
    job.BorderGroupIndex = o.value("borderGroup").toInt(-1);
    job.Stamp.Size = static_cast<int64_t>(o.value("fileSize").toDouble(-1));
    job.Stamp.ModifiedMs = static_cast<int64_t>(o.value("fileModified").toDouble(0));
    job.Done = o.value("done").toBool(false);
    return true;
}

} // namespace

int TQueueFile::PendingCount() const
{
    int n = 0;
    for (const TQueueFileJob &j : Jobs)
        n += j.Done ? 0 : 1;
    return n;
}

TQueueFileJob FileJobOf(const TQueueImage &job)
{
    TQueueFileJob f;
    f.FileName = job.FileName;
    f.MaterialName = job.MaterialName;
    f.Material = job.Material;
    f.BorderGroupIndex = job.BorderGroupIndex;
    f.DigitizedRecord = job.DigitizedRecord;
    f.Width = job.Width;
    f.Height = job.Height;
    f.Multiplier = job.Multiplier;
    f.Stamp = job.Stamp;
    f.Done = job.Done;
    return f;
}

std::string QueueToJson(const TQueueFile &file)
{
    QJsonArray jobs;
    for (const TQueueFileJob &j : file.Jobs) {
        const TAlignPoints &r = j.DigitizedRecord.Record;
        QJsonObject rec{{"road", RoadName(j.DigitizedRecord.Road)}, {"origin", Point(r.Origin)},
                        {"ref", Point(r.Ref)},   {"skew", Point(r.Skew)},
                        {"stretch", Point(r.Stretch)}, {"offset", Point(r.Offset)}};
        jobs.append(QJsonObject{{"file", Q(j.FileName)},
                                {"fileSize", static_cast<double>(j.Stamp.Size)},
                                {"fileModified", static_cast<double>(j.Stamp.ModifiedMs)},
                                {"material", Q(j.MaterialName)},
                                {"materialIndex", j.Material},
                                {"borderGroup", j.BorderGroupIndex},
                                {"record", rec},
                                {"width", Number(j.Width)},
                                {"height", Number(j.Height)},
                                {"multiplier", Number(j.Multiplier)},
                                {"done", j.Done}});
    }
    const QJsonObject root{{"grittorJobQueue", FormatVersion}, {"saved", Q(file.Saved)}, {"jobs", jobs}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

bool QueueFromJson(const std::string &text, TQueueFile &file, std::string &problem)
{
    QJsonParseError error{};
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray(text.data(), static_cast<qsizetype>(text.size())), &error);
    if (doc.isNull()) {
        problem = "not JSON (" + S(error.errorString()) + " at byte " + std::to_string(error.offset) + ")";
        return false;
    }
    const QJsonObject root = doc.object();
    if (!doc.isObject() || root.value("grittorJobQueue").toInt(0) != FormatVersion || !root.value("jobs").isArray()) {
        problem = "not a job queue of this program";
        return false;
    }
    TQueueFile read;
    read.Saved = S(root.value("saved").toString());
    for (const QJsonValue &v : root.value("jobs").toArray()) {
        TQueueFileJob job;
        if (!v.isObject() || !ReadJob(v.toObject(), job, problem))
            return false;
        read.Jobs.push_back(std::move(job));
    }
    file = std::move(read);
    return true;
}

bool WriteQueueFile(const std::string &path, const TQueueFile &file, std::string &error)
{
    const QString name = QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size()));
    QDir().mkpath(QFileInfo(name).absolutePath());
    QSaveFile out(name);
    const std::string text = QueueToJson(file);
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) ||
        !out.commit()) {
        error = path + ": " + S(out.errorString());
        out.cancelWriting();
        return false;
    }
    return true;
}

TQueueFileRead ReadQueueFile(const std::string &path)
{
    TQueueFileRead r;
    const QString name = QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size()));
    QFile in(name);
    if (!in.exists())
        return r;
    std::string text;
    if (in.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = in.readAll();
        text.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
        in.close();
    }
    if (QueueFromJson(text, r.File, r.Problem)) {
        r.State = TQueueFileState::Read;
        return r;
    }
    r.State = TQueueFileState::Corrupt;
    r.KeptAs = path + ".bad";
    const QString bad = name + ".bad";
    QFile::remove(bad);
    if (!QFile::rename(name, bad)) {
        // Could not be moved aside: out of the way at least, so it is not
        // reported again.
        QFile::remove(name);
        r.KeptAs.clear();
    }
    return r;
}

std::unique_ptr<TQueueImage> RestoreJob(const TQueueFileJob &saved, const TMaterialLibrary &materials)
{
    auto job = std::make_unique<TQueueImage>();
    job->FileName = saved.FileName;
    job->MaterialName = saved.MaterialName;
    job->DigitizedRecord = saved.DigitizedRecord;
    job->BorderGroupIndex = saved.BorderGroupIndex;
    job->Width = saved.Width;
    job->Height = saved.Height;
    job->Multiplier = saved.Multiplier;
    job->Stamp = saved.Stamp;
    job->Done = saved.Done;
    int material = materials.FindMaterial(saved.MaterialName);
    if (material < 0)
        material = materials.IsMaterialIndex(saved.Material) ? saved.Material : materials.Selected();
    job->Material = material;
    if (saved.Stamp.Size < 0 || !(StampOf(saved.FileName) == saved.Stamp)) {
        job->Missing = true;
        return job;
    }
    try {
        std::vector<std::string> messages;
        auto plot = std::make_unique<THpglFile>(saved.FileName, saved.Multiplier,
                                                [&messages](const std::string &m, bool) { messages.push_back(m); });
        if (plot->ReadStop() != TReadStop::Complete) {
            job->Missing = true;
            return job;
        }
        auto outlines = std::make_unique<TBlastJob>(
            TBlastJob::CollectOutlines(*plot, materials.Pens(material).BorderFlags()));
        job->BorderGroupIndex = outlines->BorderGroupIndex();
        job->Plot = std::move(plot);
        job->Outlines = std::move(outlines);
    } catch (const std::exception &e) {
        LogEntry("Queued plot not read again: " + saved.FileName + ": " + e.what());
        job->Missing = true;
    }
    return job;
}

std::string RestoreQuestion(int count, const std::string &saved)
{
    const QDateTime when = QDateTime::fromString(Q(saved), Qt::ISODate);
    const std::string date = when.isValid() ? S(when.toString("yyyy-MM-dd hh:mm")) : saved;
    return "Restore " + std::to_string(count) + " queued jobs from " + date + "?";
}

} // namespace grittor
