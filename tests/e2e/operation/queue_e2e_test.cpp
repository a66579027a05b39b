// The job queue in the real windows against grittor-sim: queuing the open
// plot, the edits of a job, runs of queued jobs that reach the machine in
// order with their own position and material, a cancel in the middle, the
// queue restored after a restart (and its missing plots), "Run from
// Selected" and the outline run.
#include "SimWindowFixture.h"

#include "operation/JobQueue.h"
#include "operation/QueueList.h"
#include "operation/QueueStore.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using namespace grittor;
using namespace grittor::test;

namespace {

class QueueE2eTest : public BlastTest {
protected:
    void SetUp() override
    {
        BlastTest::SetUp();
        // A second material: the same pens, blown at another speed.
        ASSERT_EQ(AddMaterial("Glass", 12), 1);
        lib.SetSelected(0);
        kept = Forms().JobQueue;
    }
    void TearDown() override
    {
        Forms().JobQueue = kept;
        queue.reset();
        BlastTest::TearDown();
    }
    std::string QueueFile() const { return Path("queue/JobQueue.json"); }
    void MakeQueue()
    {
        queue.reset();
        list = std::make_unique<TQueueList>(QueueFile());
        queue = std::make_unique<TJobQueueFrm>(*frm, *list, lib, frm.get());
        Forms().JobQueue = queue.get();
    }
    void Start(std::vector<std::string> simArgs = {})
    {
        StartSim(std::move(simArgs));
        frm = std::make_unique<TMainFrm>(store);
        frm->show();
        QApplication::processEvents();
        frm->OpenMenuClick();
        ASSERT_TRUE(frm->Serial() && frm->Serial()->OpenedOk());
        frm->Serial()->set_timeout(2000);
        MakeQueue();
    }
    // Opens `plot`, places it as the load-key sequence would at `at` (the
    // skew point 8000 along) in `material`, and queues it.
    void QueuePlot(const std::string &plot, const TExtendedPoint &at, int material = 0)
    {
        lib.SetSelected(material);
        frm->OpenPlotFile(plot);
        ASSERT_NE(frm->Job(), nullptr);
        frm->DigitizedRecord = LoadKeyPlacement(at, {at.x + 8000, at.y});
        frm->DigitizedFlag = true;
        dialogs.answers.push_back(true);
        frm->QueueOpenedImageAsJobMenuClick();
        ASSERT_EQ(frm->Plot(), nullptr) << "the job took the plot";
    }
    std::string CopyPlot(const std::string &name, const char *text = Plot) const
    {
        std::ofstream(Path(name)) << text;
        return Path(name);
    }
    // Where each job position is written (laser offset 3048,3048 taken off).
    static std::string Position(long x, long y)
    {
        return "\x1b.wposition;" + std::to_string(x - 3048) + ";" + std::to_string(y - 3048) + ":";
    }

    // A button's mnemonic clicks it a moment later: waits until the run it
    // starts has done what `finished` looks for.
    void WaitForRun(const std::function<bool()> &finished, int ms = 10000)
    {
        const int64_t end = MonoMs() + ms;
        while (MonoMs() < end && (queue->Running() || !finished()))
            QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    void Activate(QWidget *w)
    {
        w->activateWindow();
        QApplication::setActiveWindow(w);
        ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    }

    std::unique_ptr<TQueueList> list;
    std::unique_ptr<TJobQueueFrm> queue;
    TJobQueueFrm *kept = nullptr;
};

} // namespace

TEST_F(QueueE2eTest, QueuingAsksWithTheSizeAndTheJobTakesThePlot)
{
    Start();
    frm->OpenPlotFile(WritePlot(dir));
    frm->QueueOpenedImageAsJobMenuClick();
    EXPECT_EQ(dialogs.messages.back(), "You have not digitized the reference and skew locations.");
    EXPECT_EQ(list->Count(), 0);

    frm->DigitizedRecord = LoadKeyPlacement({20000, 3000}, {28000, 3000});
    frm->DigitizedFlag = true;
    dialogs.answers.push_back(false);
    frm->QueueOpenedImageAsJobMenuClick();
    ASSERT_EQ(dialogs.confirmations.size(), 1u);
    EXPECT_EQ(dialogs.confirmations[0], "Image Size Inches (8.86, 6.89)\r\nfile " + Path("plot.plt") + "\r\nQueue thie Image?");
    EXPECT_EQ(list->Count(), 0) << "No queues nothing";
    EXPECT_NE(frm->Plot(), nullptr);

    dialogs.answers.push_back(true);
    GetAbortFlags().Cancelled = true; // queuing clears a cancel left over
    frm->QueueOpenedImageAsJobMenuClick();
    EXPECT_FALSE(GetAbortFlags().Cancelled.load());
    ASSERT_EQ(list->Count(), 1);
    const TQueueImage *job = list->Get(0);
    EXPECT_TRUE(job->CanRun());
    EXPECT_EQ(job->FileName, Path("plot.plt"));
    EXPECT_EQ(job->Material, 0);
    EXPECT_EQ(job->DigitizedRecord.Record.Origin.x, 20000);
    EXPECT_GE(job->BorderGroupIndex, 0);
    EXPECT_EQ(frm->Plot(), nullptr);
    EXPECT_EQ(frm->BorderGroupIndex, -1);
    EXPECT_FALSE(frm->DigitizedFlag);
    EXPECT_FALSE(frm->Action(TCommandId::SendJob)->isEnabled()) << "no plot left to send";
    ASSERT_EQ(queue->JobList->count(), 1);
    EXPECT_EQ(queue->JobList->item(0)->text().toStdString(), Path("plot.plt") + " : Stone");
    EXPECT_EQ(ReadQueueFile(QueueFile()).File.Jobs.size(), 1u) << "saved at once";
}

TEST_F(QueueE2eTest, EditsInchesWinOverMillimetresAndTextThatIsNoNumberIsIgnored)
{
    Start();
    QueuePlot(WritePlot(dir), {20000, 3000});
    QueuePlot(CopyPlot("b.plt"), {40000, 3000}, 1);
    queue->show();
    queue->UpdateList();
    queue->JobList->setCurrentRow(0); // as a click or an arrow key does
    EXPECT_EQ(queue->Selected, 0);
    EXPECT_EQ(queue->PositionXInch->text().toStdString(), "19.685");
    EXPECT_EQ(queue->PositionXMM->text().toStdString(), "500.000");
    EXPECT_EQ(queue->ImageSize->text().toStdString(), "(8.86, 6.89)");
    EXPECT_EQ(queue->Material->currentText().toStdString(), "Stone");

    // Inch 2 gives 2032 units, and 50.800 mm.
    QTest::keyClicks(queue->PositionXInch, "");
    queue->PositionXInch->selectAll();
    QTest::keyClicks(queue->PositionXInch, "2");
    queue->SaveButtonClick();
    EXPECT_EQ(list->Get(0)->DigitizedRecord.Record.Origin.x, 2032);
    EXPECT_EQ(list->Get(0)->DigitizedRecord.Record.Origin.y, 3000) << "the other field as it was";
    EXPECT_EQ(queue->PositionXMM->text().toStdString(), "50.800");
    EXPECT_EQ(queue->PositionXInch->text().toStdString(), "2.000");
    EXPECT_EQ(ReadQueueFile(QueueFile()).File.Jobs[0].DigitizedRecord.Record.Origin.x, 2032) << "saved at the change";

    // Both kinds edited: the inches win; a field that is no number is ignored.
    queue->PositionXMM->selectAll();
    QTest::keyClicks(queue->PositionXMM, "100");
    queue->PositionXInch->selectAll();
    QTest::keyClicks(queue->PositionXInch, "3");
    queue->PositionYInch->selectAll();
    QTest::keyClicks(queue->PositionYInch, "three");
    queue->Material->setCurrentIndex(1);
    queue->SaveButtonClick();
    EXPECT_EQ(list->Get(0)->DigitizedRecord.Record.Origin.x, 3048);
    EXPECT_EQ(list->Get(0)->DigitizedRecord.Record.Origin.y, 3000);
    EXPECT_EQ(list->Get(0)->Material, 1);
    EXPECT_EQ(queue->JobList->item(0)->text().toStdString(), Path("plot.plt") + " : Glass");
    // Millimetres alone.
    queue->PositionYMM->selectAll();
    QTest::keyClicks(queue->PositionYMM, "25.4");
    queue->SaveButtonClick();
    EXPECT_EQ(list->Get(0)->DigitizedRecord.Record.Origin.y, 1016);
    EXPECT_EQ(queue->PositionYInch->text().toStdString(), "1.000");

    // Clicking another job stores the edits of the one shown first.
    queue->PositionXInch->selectAll();
    QTest::keyClicks(queue->PositionXInch, "4");
    queue->JobList->setCurrentRow(1);
    EXPECT_EQ(list->Get(0)->DigitizedRecord.Record.Origin.x, 4064);
    EXPECT_EQ(queue->Selected, 1);
    EXPECT_EQ(queue->PositionXInch->text().toStdString(), "39.370");

    // Delete needs a selection; Clear empties; the empty queue's messages.
    queue->UpdateList();
    dialogs.messages.clear();
    queue->DeleteButtonClick();
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"Select Job to delete"});
    EXPECT_EQ(list->Count(), 2);
    queue->JobList->setCurrentRow(0);
    queue->DeleteButtonClick();
    ASSERT_EQ(list->Count(), 1);
    EXPECT_EQ(list->Get(0)->FileName, Path("b.plt"));
    queue->ClearButtonClick();
    EXPECT_EQ(list->Count(), 0);
    EXPECT_EQ(queue->JobList->count(), 0);
    dialogs.messages.clear();
    const TPlacement own = frm->DigitizedRecord;
    queue->RunButtonClick();
    queue->OutlineButtonClick();
    EXPECT_EQ(dialogs.messages, (std::vector<std::string>{"No jobs in queue", "No jobs in queue"}));
    EXPECT_EQ(frm->DigitizedRecord.Record.Origin.x, own.Record.Origin.x);
}

TEST_F(QueueE2eTest, TwoQueuedJobsArriveInOrderEachWithItsPositionAndMaterialAndTheWindowKeepsItsOwn)
{
    Start();
    QueuePlot(WritePlot(dir), {20000, 3000}, 0);
    QueuePlot(CopyPlot("b.plt"), {40000, 5000}, 1);
    // The main window has a plot of its own, placed elsewhere.
    lib.SetSelected(0);
    frm->OpenPlotFile(WriteBigPlot(dir));
    frm->DigitizedRecord = LoadKeyPlacement({1000, 1000}, {9000, 1000});
    frm->DigitizedFlag = true;
    const THpglFile *ownPlot = frm->Plot();
    const int ownBorder = frm->BorderGroupIndex;
    const size_t before = Recorded().size();
    queue->show();
    Activate(queue.get());
    QTest::keyClick(queue.get(), Qt::Key_R, Qt::AltModifier); // "&Run Jobs"
    WaitForRun([&] { return Recorded().find("nr;") != std::string::npos; });
    const std::string r = Recorded().substr(before);
    const size_t ready = r.find("\x1b.wstate;ready:\r");
    const size_t first = r.find(Position(20000, 3000));
    const size_t second = r.find(Position(40000, 5000));
    ASSERT_NE(ready, std::string::npos);
    ASSERT_NE(first, std::string::npos) << r.substr(0, 400);
    ASSERT_NE(second, std::string::npos);
    EXPECT_LT(ready, first);
    EXPECT_LT(first, second);
    // Each with its own material's speed, each waited for, then "nr;".
    EXPECT_NE(r.substr(first, second - first).find("vs25;"), std::string::npos);
    EXPECT_EQ(r.substr(first, second - first).find("vs12;"), std::string::npos);
    EXPECT_NE(r.substr(second).find("vs12;"), std::string::npos) << r.substr(second, 400);
    EXPECT_EQ(r.substr(r.size() - 14), std::string(";\rwa;\rwa;\rnr;\r")) << "the job's wait, the queue's, nr;";
    EXPECT_TRUE(list->Get(0)->Done);
    EXPECT_TRUE(list->Get(1)->Done);
    EXPECT_EQ(ReadQueueFile(QueueFile()).File.PendingCount(), 0);
    // The main window's own job context is back.
    EXPECT_EQ(frm->Plot(), ownPlot);
    EXPECT_EQ(frm->BorderGroupIndex, ownBorder);
    EXPECT_EQ(frm->DigitizedRecord.Record.Origin.x, 1000);
    EXPECT_TRUE(frm->DigitizedFlag);
    EXPECT_EQ(lib.Selected(), 0);
    EXPECT_TRUE(list->Get(1)->CanRun()) << "the job has its plot back";
    EXPECT_NE(queue->JobList->item(1)->text().toStdString().find("(done)"), std::string::npos);
}

TEST_F(QueueE2eTest, CancelDuringARunStopsBeforeTheNextJobAndGivesTheWindowItsOwnBack)
{
    Start({"--baud", "38400"});
    lib.FindPen(0, 1)->SetPasses(30);
    QueuePlot(WriteBigPlot(dir), {20000, 3000});
    QueuePlot(CopyPlot("b.plt"), {40000, 3000});
    frm->OpenPlotFile(WritePlot(dir));
    frm->DigitizedRecord = LoadKeyPlacement({1000, 1000}, {9000, 1000});
    const THpglFile *ownPlot = frm->Plot();
    dialogs.answers.push_back(true); // "Are you sure you wish to cancel this job?"
    bool runningWhenCancelled = false;
    QTimer::singleShot(1500, queue.get(), [&] {
        runningWhenCancelled = queue->Running() && queue->CancelButton->isEnabled();
        queue->CancelButton->click();
    });
    queue->RunButtonClick();
    EXPECT_TRUE(runningWhenCancelled);
    EXPECT_EQ(dialogs.confirmations.back(), "Are you sure you wish to cancel this job?");
    const std::string r = Recorded();
    EXPECT_NE(r.find(Position(20000, 3000)), std::string::npos);
    EXPECT_EQ(r.find(Position(40000, 3000)), std::string::npos) << "the second job never started";
    EXPECT_EQ(r.find("nr;"), std::string::npos);
    EXPECT_FALSE(list->Get(0)->Done);
    EXPECT_FALSE(list->Get(1)->Done);
    EXPECT_EQ(ReadQueueFile(QueueFile()).File.PendingCount(), 2) << "after a crash both would still be there";
    EXPECT_EQ(frm->Plot(), ownPlot);
    EXPECT_EQ(frm->DigitizedRecord.Record.Origin.x, 1000);
    EXPECT_FALSE(queue->Running());
    EXPECT_TRUE(queue->RunButton->isEnabled());
    EXPECT_TRUE(list->Get(0)->CanRun());
}

TEST_F(QueueE2eTest, AQueueIsRestoredAfterARestartAndAMissingPlotCannotRun)
{
    Start();
    const std::string a = WritePlot(dir), b = CopyPlot("b.plt"), c = CopyPlot("c.plt");
    QueuePlot(a, {20000, 3000});
    QueuePlot(b, {40000, 3000}, 1);
    QueuePlot(c, {60000, 3000});
    list->MarkDone(0);
    const std::string border = list->Get(1)->Outlines->BorderText(list->Get(1)->DigitizedRecord);

    // The program ends; the plot of the third job changes meanwhile.
    queue.reset();
    list.reset();
    CopyPlot("c.plt", "IN;SP7;PU0,0;PD100,0,100,100,0,0;PU;");
    MakeQueue();
    dialogs.answers.push_back(true);
    queue->OfferRestore();
    ASSERT_FALSE(dialogs.confirmations.empty());
    EXPECT_TRUE(std::regex_match(dialogs.confirmations.back(),
                                 std::regex(R"(Restore 2 queued jobs from \d{4}-\d\d-\d\d \d\d:\d\d\?)")))
        << dialogs.confirmations.back();
    ASSERT_EQ(list->Count(), 2) << "the done job is not restored";
    EXPECT_TRUE(list->Get(0)->CanRun());
    EXPECT_EQ(list->Get(0)->Material, 1);
    EXPECT_EQ(list->Get(0)->Outlines->BorderText(list->Get(0)->DigitizedRecord), border) << "the same job again";
    EXPECT_TRUE(list->Get(1)->Missing);
    EXPECT_TRUE(queue->isVisible());
    EXPECT_NE(queue->JobList->item(1)->text().toStdString().find("(missing"), std::string::npos);
    EXPECT_NE(dialogs.messages.back().find("1 of the restored jobs cannot run"), std::string::npos);
    EXPECT_EQ(ReadQueueFile(QueueFile()).File.Jobs.size(), 2u);

    const size_t before = Recorded().size();
    dialogs.messages.clear();
    queue->RunButtonClick();
    const std::string r = Recorded().substr(before);
    EXPECT_NE(r.find(Position(40000, 3000)), std::string::npos);
    EXPECT_EQ(r.find(Position(60000, 3000)), std::string::npos) << "the missing plot is not run";
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_EQ(dialogs.messages.back(), "These jobs were not run: their plot files are missing or changed since they "
                                       "were queued.\r\n" + c);
    EXPECT_TRUE(list->Get(0)->Done);
    EXPECT_FALSE(list->Get(1)->Done);

    // Saying No leaves the file for next time; a corrupt file is set aside once.
    queue.reset();
    list.reset();
    MakeQueue();
    dialogs.answers.push_back(false);
    const size_t asked = dialogs.confirmations.size();
    queue->OfferRestore();
    EXPECT_EQ(dialogs.confirmations.size(), asked + 1);
    EXPECT_EQ(list->Count(), 0);
    std::ofstream(QueueFile(), std::ios::trunc) << "{ broken";
    dialogs.messages.clear();
    queue->OfferRestore();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].find("It was kept as " + QueueFile() + ".bad"), std::string::npos);
    queue->OfferRestore();
    EXPECT_EQ(dialogs.messages.size(), 1u) << "reported once";
}

TEST_F(QueueE2eTest, RunFromSelectedRunsFromThatJobToTheEndAndOutlineSendsOnlyBorders)
{
    Start();
    QueuePlot(WritePlot(dir), {20000, 3000});
    QueuePlot(CopyPlot("b.plt"), {40000, 3000});
    QueuePlot(CopyPlot("c.plt"), {60000, 3000});
    queue->show();
    queue->UpdateList();
    dialogs.messages.clear();
    queue->RunFromSelectedClick();
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"Select the job to run from"});
    queue->JobList->setCurrentRow(1);
    size_t before = Recorded().size();
    Activate(queue.get());
    QTest::keyClick(queue.get(), Qt::Key_F, Qt::AltModifier); // "Run &from Selected"
    WaitForRun([&] { return Recorded().find("nr;") != std::string::npos; });
    std::string r = Recorded().substr(before);
    EXPECT_EQ(r.find(Position(20000, 3000)), std::string::npos);
    const size_t second = r.find(Position(40000, 3000)), third = r.find(Position(60000, 3000));
    ASSERT_NE(second, std::string::npos);
    ASSERT_NE(third, std::string::npos);
    EXPECT_LT(second, third);
    EXPECT_FALSE(list->Get(0)->Done);
    EXPECT_TRUE(list->Get(1)->Done);
    EXPECT_TRUE(list->Get(2)->Done);

    // Outline: each border once at its position (no laser offset), no
    // job, no wait after it, no "nr;".
    before = Recorded().size();
    queue->OutlineButtonClick();
    ASSERT_TRUE(WaitRecorded("\x1b.wposition;60000;3000:"));
    ASSERT_TRUE(WaitRecorded("\x1b.wposition;60000;3000:\rwa;\rpg0;\rwa;\rpapu0,0;\r\n"));
    QApplication::processEvents(QEventLoop::AllEvents, 200);
    r = Recorded().substr(before);
    size_t at = 0;
    for (long x : {20000L, 40000L, 60000L}) {
        at = r.find("\x1b.wposition;" + std::to_string(x) + ";3000:", at);
        ASSERT_NE(at, std::string::npos) << x;
    }
    EXPECT_EQ(r.find("vdownspeed"), std::string::npos);
    EXPECT_EQ(r.find("vs25;"), std::string::npos);
    EXPECT_EQ(r.find("nr;"), std::string::npos);
    EXPECT_EQ(r.find("\x1b.wstate;ready:"), std::string::npos) << "no continue before an outline";
    EXPECT_EQ(r.substr(r.size() - 11), "papu0,0;\r\n\r");
    EXPECT_EQ(frm->Plot(), nullptr) << "the window's own (empty) context is back";
}

TEST_F(QueueE2eTest, TheWindowIsOnTopAndWorksByKeyboardWithADistinctMnemonicForEachControl)
{
    Start();
    QueuePlot(WritePlot(dir), {20000, 3000});
    QueuePlot(CopyPlot("b.plt"), {40000, 3000}, 1);
    QueuePlot(CopyPlot("c.plt"), {60000, 5000});
    queue->show();
    EXPECT_EQ(queue->windowTitle().toStdString(), "Job Queue");
    EXPECT_TRUE(queue->windowFlags() & Qt::WindowStaysOnTopHint);
    std::set<QChar> keys;
    auto mnemonic = [&](const QString &caption) {
        const int amp = caption.indexOf('&');
        ASSERT_GE(amp, 0) << "'" << caption.toStdString() << "'";
        EXPECT_TRUE(keys.insert(caption.at(amp + 1).toLower()).second) << "repeated: " << caption.toStdString();
    };
    for (QPushButton *b : queue->findChildren<QPushButton *>())
        mnemonic(b->text());
    for (QLabel *l : queue->findChildren<QLabel *>())
        if (l->buddy())
            mnemonic(l->text());
    EXPECT_EQ(keys.size(), 14u);
    // Alt+J reaches the list, arrows choose a job, Alt+X its X field.
    Activate(queue.get());
    QTest::keyClick(queue.get(), Qt::Key_J, Qt::AltModifier);
    EXPECT_TRUE(queue->JobList->hasFocus());
    EXPECT_EQ(queue->Selected, 0) << "the list takes the first job with the focus";
    QTest::keyClick(queue->JobList, Qt::Key_Down);
    EXPECT_EQ(queue->Selected, 1);
    EXPECT_EQ(queue->Material->currentText().toStdString(), "Glass");
    QTest::keyClick(queue.get(), Qt::Key_X, Qt::AltModifier);
    ASSERT_TRUE(queue->PositionXInch->hasFocus());
    queue->PositionXInch->selectAll();
    QTest::keyClicks(queue->PositionXInch, "5");
    QTest::keyClick(queue->PositionXInch, Qt::Key_Return); // the default button saves
    EXPECT_EQ(list->Get(1)->DigitizedRecord.Record.Origin.x, 5080);
    queue->grab().save(QString::fromStdString(Path("job-queue.png")));
    if (const char *shots = std::getenv("GRITTOR_SCREENSHOT_DIR"))
        queue->grab().save(QString(shots) + "/job-queue.png");
    QTest::keyClick(queue.get(), Qt::Key_Escape);
    EXPECT_FALSE(queue->isVisible());
    // The main window shows it again, Alt+J, U.
    frm->DisplayJobQueueMenuClick();
    EXPECT_TRUE(queue->isVisible());
}

TEST_F(QueueE2eTest, WritePositionAndWaitAreTheQueueWindowsShownOrNot)
{
    Start();
    ASSERT_FALSE(queue->isVisible());
    const size_t before = Recorded().size();
    queue->WritePosition(2032, 1016);
    ASSERT_TRUE(WaitRecorded("pg0;\rwa;\r"));
    EXPECT_EQ(Recorded().substr(before), "wa;\r\x1b.wposition;2032;1016:\rwa;\rpg0;\rwa;\r");
    queue->Wait();
    EXPECT_EQ(Recorded().substr(before).size(), std::string("wa;\r\x1b.wposition;2032;1016:\rwa;\rpg0;\rwa;\rwa;\r").size());
    // Cancelled: nothing is exchanged.
    GetAbortFlags().Cancelled = true;
    const size_t cancelled = Recorded().size();
    queue->WritePosition(1, 2);
    queue->Wait();
    QApplication::processEvents(QEventLoop::AllEvents, 200);
    EXPECT_EQ(Recorded().size(), cancelled);
}

TEST_F(QueueE2eTest, ARunIsRefusedWhileAnotherCommandTalksToTheMachine)
{
    Start();
    QueuePlot(WritePlot(dir), {20000, 3000});
    const size_t before = Recorded().size();
    {
        TCommandGate::Scope sending(frm->Gate(), TCommandId::SendJob);
        queue->RunButtonClick();
        queue->OutlineButtonClick();
    }
    QApplication::processEvents(QEventLoop::AllEvents, 200);
    EXPECT_EQ(Recorded().size(), before);
    EXPECT_EQ(queue->StatusLabel->text().toStdString(), "Busy: let the current work finish, or press Cancel");
    EXPECT_FALSE(list->Get(0)->Done);
}
