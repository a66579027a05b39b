#include "foundation/ExceptionReportForm.h"

#include "foundation/ExceptionReporting.h"
#include "foundation/GuiApplication.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

using namespace grittor;

namespace {

struct Output {
    std::string text;
    bool toTerminal;
};

class ReportFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<TExceptionReportForm>();
        form->SetOutputHandler([this](const std::string &t, bool term) { outputs.push_back({t, term}); });
        TExceptionReportForm::ModalRunner = [this](TExceptionReportForm &) { ++modalShows; };
        ClearBacktraces();
    }
    void TearDown() override
    {
        form.reset();
        TExceptionReportForm::ModalRunner = [](TExceptionReportForm &f) { f.exec(); };
    }
    QStringList Lines(QPlainTextEdit *m) const { return m->toPlainText().split('\n'); }

    std::unique_ptr<TExceptionReportForm> form;
    std::vector<Output> outputs;
    int modalShows = 0;
};

} // namespace

TEST_F(ReportFormTest, StartsAsDesigned)
{
    EXPECT_EQ(form->windowTitle(), "Exception Reporting ");
    EXPECT_EQ(form->ReportLevel(), 3);
    EXPECT_EQ(form->MoreButton->text(), "Details ...");
    EXPECT_EQ(form->NoRedisplayCheckBox->text(), "Check to Disable this box until restart");
    EXPECT_TRUE(form->IgnoreButton->isDefault());
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(GetReportTarget(), form.get());
}

TEST_F(ReportFormTest, LevelThreeWithTheBoxTickedReachesMemosAndHandlerButShowsNothing)
{
    form->NoRedisplayCheckBox->setChecked(true);
    std::runtime_error e("disk full");
    Report("TmainFrm.ApplicationEvents1Exception", "Global Exception", &e, 0);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(modalShows, 0);
    const QStringList user = Lines(form->UserMemo);
    ASSERT_EQ(user.size(), 2);
    EXPECT_TRUE(user[0].endsWith(" Exception in routine TmainFrm.ApplicationEvents1Exception")) << user[0].toStdString();
    EXPECT_EQ(user[1], "Global Exception");
    EXPECT_TRUE(form->ProgrammerMemo->toPlainText().contains("disk full"));
    ASSERT_EQ(outputs.size(), 3u);
    EXPECT_EQ(outputs[0].text, "Exception in routine TmainFrm.ApplicationEvents1Exception");
    EXPECT_TRUE(outputs[0].toTerminal);
    EXPECT_EQ(outputs[1].text, "Global Exception");
    EXPECT_TRUE(outputs[1].toTerminal);
    EXPECT_EQ(outputs[2].text, "disk full");
    EXPECT_FALSE(outputs[2].toTerminal);
}

TEST_F(ReportFormTest, LevelThreeShowsWithoutWaitingAndHidesAfterTheCountdown)
{
    Report("TimerTimer", "Exception in periodic routine", nullptr, 3);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isModal());
    EXPECT_FALSE(form->PauseButton->isHidden());
    EXPECT_FALSE(form->disappear->isHidden());
    EXPECT_TRUE(form->IgnoreButton->isHidden());
    EXPECT_TRUE(form->Timer->isActive());
    form->TimerTimer();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->PauseButton->isHidden());
}

TEST_F(ReportFormTest, PauseStopsTheCountdownAndOffersIgnore)
{
    Report("r", "t", nullptr, 3);
    form->PauseButtonClick();
    EXPECT_FALSE(form->Timer->isActive());
    EXPECT_FALSE(form->IgnoreButton->isHidden());
    EXPECT_TRUE(form->PauseButton->isHidden());
    form->IgnoreButtonClick();
    EXPECT_FALSE(form->isVisible());
}

TEST_F(ReportFormTest, ModalLevelsAndSilentLevels)
{
    for (int level : {1, 4, 8})
        Report("r", "t", nullptr, level);
    EXPECT_EQ(modalShows, 3);
    EXPECT_FALSE(form->IgnoreButton->isHidden());
    // Levels 4-8 show but do not write the memos; 2 and 9 show nothing.
    EXPECT_EQ(Lines(form->UserMemo).size(), 2);
    Report("r", "t", nullptr, 2);
    Report("r", "t", nullptr, 9);
    EXPECT_EQ(modalShows, 3);
    EXPECT_FALSE(form->isVisible());
    form->NoRedisplayCheckBox->setChecked(true);
    Report("r", "t", nullptr, 1);
    EXPECT_EQ(modalShows, 3);
}

TEST_F(ReportFormTest, MemosAreTrimmedBeforeEachReport)
{
    form->NoRedisplayCheckBox->setChecked(true);
    for (int i = 0; i < 600; ++i)
        Report("r", "", nullptr, 3); // one line each
    const QStringList user = Lines(form->UserMemo);
    EXPECT_EQ(user.size(), 501); // trimmed to 500, then one added
    EXPECT_EQ(Lines(form->ProgrammerMemo).size(), 501);
}

TEST_F(ReportFormTest, DetailsButtonTogglesTheProgrammerPanel)
{
    form->MoreButtonClick();
    EXPECT_EQ(form->MoreButton->text(), "Less ...");
    EXPECT_FALSE(form->ProgrammerExceptionPanel->isHidden());
    form->MoreButtonClick();
    EXPECT_EQ(form->MoreButton->text(), "Details ...");
    EXPECT_TRUE(form->ProgrammerExceptionPanel->isHidden());
}

TEST_F(ReportFormTest, BacktraceOfAFaultGoesToTheProgrammerMemoAndTheLog)
{
    form->NoRedisplayCheckBox->setChecked(true);
    RecordBacktrace();
    Report("r", "t", nullptr, 3);
    EXPECT_TRUE(form->ProgrammerMemo->toPlainText().contains("Last backtrace recorded"));
    ASSERT_FALSE(outputs.empty());
    EXPECT_EQ(outputs.back().text.rfind("Last backtrace recorded ", 0), 0u);
    EXPECT_FALSE(outputs.back().toTerminal);
    // Reported once: the store is empty afterwards.
    outputs.clear();
    Report("r", "t", nullptr, 3);
    EXPECT_EQ(outputs.size(), 2u);
}

TEST_F(ReportFormTest, ReportFromAnotherThreadArrivesOnTheInterfaceThread)
{
    form->NoRedisplayCheckBox->setChecked(true);
    std::thread t([] { Report("TCommThread.execute", "Error reading from serial port", nullptr, 0); });
    t.join();
    EXPECT_TRUE(outputs.empty()); // not yet: queued
    QCoreApplication::processEvents();
    ASSERT_EQ(outputs.size(), 2u);
    EXPECT_EQ(outputs[0].text, "Exception in routine TCommThread.execute");
}

TEST_F(ReportFormTest, ExceptionThrownFromASlotIsReportedAndTheLoopKeepsRunning)
{
    form->NoRedisplayCheckBox->setChecked(true);
    bool later = false;
    QTimer::singleShot(0, [] { throw std::runtime_error("slot failed"); });
    QTimer::singleShot(5, [&] { later = true; });
    for (int i = 0; i < 100 && !later; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(later);
    ASSERT_GE(outputs.size(), 2u);
    EXPECT_EQ(outputs[0].text, "Exception in routine TExceptionReporting.AppException");
    EXPECT_EQ(outputs[1].text, "slot failed");
}
