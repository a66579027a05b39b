// The job queue's file: what is written at every change, what reads back,
// a corrupt file moved aside and reported once, and jobs whose plot file is
// gone or changed restored as missing.
#include "operation/QueueStore.h"

#include "TestDoubles.h"
#include "foundation/LogOutput.h"
#include "geometry/BlastJob.h"
#include "hpgl/hpgl.h"
#include "pens/MaterialLibrary.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace grittor;
using namespace grittor::test;

namespace {

std::string Slurp(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

class QueueStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LogOutput().SetDirectory(dir.path().toStdString());
        lib.AddMaterial("Glass");
        lib.AddMaterial("Stone");
        TPens &border = lib.FindOrAddPen(1, 7);
        border.border = true;
        lib.SetSelected(1);
    }
    std::string Path(const std::string &name) const { return dir.path().toStdString() + "/" + name; }
    std::string WritePlot(const std::string &name, const std::string &text = Plot) const
    {
        std::ofstream(Path(name), std::ios::binary | std::ios::trunc) << text;
        return Path(name);
    }
    TQueueFileJob SavedJob(const std::string &plot) const
    {
        TQueueFileJob j;
        j.FileName = plot;
        j.MaterialName = "Stone";
        j.Material = 1;
        j.DigitizedRecord = LoadKeyPlacement({20000, 3000}, {28000, 7000});
        j.Width = 2;
        j.Height = 1;
        j.Stamp = StampOf(plot);
        return j;
    }

    static constexpr const char *Plot = "IN;SP1;PU1000,500;PD2000,500,2000,1500,1000,500;"
                                        "SP7;PU0,0;PD3000,0,3000,2000,0,2000,0,0;PU;";
    TempSettings settings;
    QTemporaryDir dir;
    TMaterialLibrary lib;
};

} // namespace

TEST_F(QueueStoreTest, EveryFieldReadsBackToTheSameBitsAndDoneJobsAreNotPending)
{
    TQueueFile f;
    f.Saved = "2026-12-09T14:05:00";
    TQueueFileJob a;
    a.FileName = "/plots/Ünïcode name.plt";
    a.MaterialName = "Stone \"quoted\"";
    a.Material = 3;
    a.BorderGroupIndex = 2;
    a.DigitizedRecord = ThreePointPlacement({1.0L / 3, -2.5L}, {1e-30L, 12345678.123456789L}, {7, 8});
    a.DigitizedRecord.Record.Offset = {0.1L, -0.1L};
    a.Width = 10.0L / 3;
    a.Height = 2.0L / 7;
    a.Multiplier = 0.01L;
    a.Stamp = {123456, 1765000000123};
    TQueueFileJob b = a;
    b.Done = true;
    b.DigitizedRecord.Road = TPlacementRoad::Origin;
    f.Jobs = {a, b};

    TQueueFile back;
    std::string problem;
    ASSERT_TRUE(QueueFromJson(QueueToJson(f), back, problem)) << problem;
    ASSERT_EQ(back.Jobs.size(), 2u);
    EXPECT_EQ(back.Saved, f.Saved);
    EXPECT_EQ(back.PendingCount(), 1);
    const TQueueFileJob &r = back.Jobs[0];
    EXPECT_EQ(r.FileName, a.FileName);
    EXPECT_EQ(r.MaterialName, a.MaterialName);
    EXPECT_EQ(r.Material, 3);
    EXPECT_EQ(r.BorderGroupIndex, 2);
    EXPECT_EQ(r.DigitizedRecord.Road, TPlacementRoad::ThreePoints);
    EXPECT_EQ(back.Jobs[1].DigitizedRecord.Road, TPlacementRoad::Origin);
    const TAlignPoints &x = r.DigitizedRecord.Record, &y = a.DigitizedRecord.Record;
    for (auto [got, want] : {std::pair{x.Origin, y.Origin}, {x.Ref, y.Ref}, {x.Skew, y.Skew}, {x.Stretch, y.Stretch},
                             {x.Offset, y.Offset}}) {
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
    }
    EXPECT_EQ(r.Width, a.Width);
    EXPECT_EQ(r.Height, a.Height);
    EXPECT_EQ(r.Multiplier, a.Multiplier);
    EXPECT_EQ(r.Stamp, a.Stamp);
    EXPECT_FALSE(r.Done);
    EXPECT_TRUE(back.Jobs[1].Done);
}

TEST_F(QueueStoreTest, TheListWritesItsFileAtEveryChange)
{
    const std::string file = Path("settings/JobQueue.json");
    TQueueList list(file);
    const std::string plot = WritePlot("a.plt");
    auto read = [&] {
        const TQueueFileRead r = ReadQueueFile(file);
        EXPECT_EQ(r.State, TQueueFileState::Read);
        return r.File;
    };
    list.Add(plot, nullptr, 2, 1, nullptr, LoadKeyPlacement({20000, 3000}, {28000, 7000}), 1, 1, "Stone");
    list.Add(plot, nullptr, 2, 1, nullptr, LoadKeyPlacement({40000, 3000}, {48000, 7000}), 1, 0, "Glass");
    ASSERT_EQ(read().Jobs.size(), 2u);
    EXPECT_EQ(read().Jobs[1].MaterialName, "Glass");
    EXPECT_EQ(read().Jobs[0].Stamp, StampOf(plot));
    list.MarkDone(0);
    EXPECT_TRUE(read().Jobs[0].Done);
    EXPECT_EQ(read().PendingCount(), 1);
    list.Get(1)->DigitizedRecord.Record.Origin.x = 2032;
    list.Changed();
    EXPECT_EQ(read().Jobs[1].DigitizedRecord.Record.Origin.x, 2032);
    EXPECT_FALSE(list.Remove(5));
    EXPECT_TRUE(list.Remove(0));
    EXPECT_EQ(read().Jobs.size(), 1u);
    list.Clear();
    EXPECT_TRUE(read().Jobs.empty());
    EXPECT_EQ(list.SaveCount(), 6) << "two adds, done, an edit, a remove, the clearing; not the failed remove";
    // Nothing is left beside it from the replacing.
    EXPECT_EQ(QDir(dir.path() + "/settings").entryList(QDir::Files), QStringList{"JobQueue.json"});
}

TEST_F(QueueStoreTest, AFileThatCannotBeWrittenIsToldAndTheOldQueueIsKept)
{
    const std::string file = Path("JobQueue.json");
    TQueueList good(file);
    good.Add("x.plt", nullptr, 2, 1, nullptr, TPlacement{}, -1, 1, "Stone");
    const std::string before = Slurp(file);
    // The folder of the file is a plain file: nothing can be written there.
    std::ofstream(Path("notafolder")) << "x";
    TQueueList bad(Path("notafolder/JobQueue.json"));
    std::vector<std::string> told;
    bad.OnSaveFailed = [&](const std::string &e) { told.push_back(e); };
    bad.Add("x.plt", nullptr, 2, 1, nullptr, TPlacement{}, -1, 1, "Stone");
    EXPECT_FALSE(bad.Save());
    EXPECT_EQ(told.size(), 2u);
    EXPECT_FALSE(bad.SaveError().empty());
    EXPECT_EQ(bad.Count(), 1) << "the queue stays in memory";
    EXPECT_EQ(Slurp(file), before);
}

TEST_F(QueueStoreTest, ACorruptFileIsKeptAsBadAndReportedOnce)
{
    const std::string file = Path("JobQueue.json");
    for (const std::string &text : {std::string("{\"grittorJobQueue\": 1, \"jobs\": [ {\"file\": "),
                                   std::string("[1,2,3]"), std::string("{\"grittorJobQueue\": 1, \"jobs\": [{}]}"),
                                   std::string("{\"grittorJobQueue\": 2, \"jobs\": []}"), std::string()}) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
        const TQueueFileRead r = ReadQueueFile(file);
        EXPECT_EQ(r.State, TQueueFileState::Corrupt) << text;
        EXPECT_FALSE(r.Problem.empty());
        EXPECT_EQ(r.KeptAs, file + ".bad");
        EXPECT_EQ(Slurp(file + ".bad"), text) << "kept as it was";
        EXPECT_FALSE(QFile::exists(QString::fromStdString(file)));
        EXPECT_EQ(ReadQueueFile(file).State, TQueueFileState::Absent) << "not reported a second time";
    }
}

TEST_F(QueueStoreTest, AnUnchangedPlotIsReadAgainAndAGoneOrChangedOneListsTheJobAsMissing)
{
    const std::string plot = WritePlot("a.plt");
    TQueueFileJob saved = SavedJob(plot);
    // The material moved to another index since: found by its name.
    saved.Material = 0;
    auto job = RestoreJob(saved, lib);
    ASSERT_TRUE(job->CanRun());
    EXPECT_FALSE(job->Missing);
    EXPECT_EQ(job->Material, 1);
    EXPECT_EQ(job->Outlines->GroupCount(), 2);
    EXPECT_EQ(job->BorderGroupIndex, job->Outlines->BorderGroupIndex());
    EXPECT_GE(job->BorderGroupIndex, 0) << "pen 7 is Stone's border pen";
    EXPECT_EQ(job->DigitizedRecord.Record.Skew.x, 8000);

    // Same size, another modification time.
    QFile f(QString::fromStdString(plot));
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
    f.close();
    EXPECT_TRUE(RestoreJob(saved, lib)->Missing);
    // Another size.
    saved.Stamp = StampOf(plot);
    EXPECT_FALSE(RestoreJob(saved, lib)->Missing);
    WritePlot("a.plt", std::string(Plot) + "PU;");
    EXPECT_TRUE(RestoreJob(saved, lib)->Missing);
    // Gone.
    saved.Stamp = StampOf(plot);
    QFile::remove(QString::fromStdString(plot));
    auto gone = RestoreJob(saved, lib);
    EXPECT_TRUE(gone->Missing);
    EXPECT_FALSE(gone->CanRun());
    EXPECT_EQ(gone->FileName, plot);
    EXPECT_EQ(gone->Width, 2) << "listed with what was saved";
}

TEST_F(QueueStoreTest, TheRestoreQuestionNamesTheCountAndTheDate)
{
    EXPECT_EQ(RestoreQuestion(3, "2026-12-09T14:05:31"), "Restore 3 queued jobs from 2026-12-09 14:05?");
    EXPECT_EQ(RestoreQuestion(1, "yesterday"), "Restore 1 queued jobs from yesterday?");
}

TEST_F(QueueStoreTest, AJobKeepsItsMaterialWhenAnotherMaterialIsDeleted)
{
    TQueueImage job;
    job.Material = 1;
    job.MaterialName = "Stone";
    EXPECT_EQ(CurrentMaterial(job, lib), 1);
    lib.AddMaterial("Wood");
    lib.DeleteMaterial(0); // "Glass" goes: "Stone" is 0 now, "Wood" 1
    EXPECT_EQ(CurrentMaterial(job, lib), 0);
    job.MaterialName = "Marble"; // gone altogether: the index it had
    EXPECT_EQ(CurrentMaterial(job, lib), 1);
}
