// The memory dump window before anything goes on the line: the request as
// typed is corrected in the fields, nonsense is refused, and the keyboard
// works the window.
#include "service/Memory.h"

#include "TestDoubles.h"
#include "foundation/LogOutput.h"
#include "foundation/QtSeams.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace grittor;

namespace {

class MemoryFormTest : public ::testing::Test {
protected:
    void SetUp() override { LogOutput().SetDirectory(logDir.path().toStdString()); }
    test::TempSettings settings;
    test::ScriptedDialogs dialogs;
    test::RecordingProgress progress;
    QTemporaryDir logDir;
    TMemoryForm form;
};

} // namespace

TEST_F(MemoryFormTest, AddressAndCountAreWrittenBackAndTheTempFolderOffered)
{
    form.StartAddress->setText("1A2b");
    form.NumberOfWords->setText("10");
    form.StartButtonClick(); // the file dialog is cancelled
    EXPECT_EQ(form.StartAddress->text(), "00001A2B");
    EXPECT_EQ(form.NumberOfWords->text(), "12");
    ASSERT_EQ(dialogs.fileInitials.size(), 1u);
    EXPECT_EQ(dialogs.fileInitials[0], FromQ(QDir::tempPath()) + "/memdump.xls");
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(progress.events.empty()); // nothing started
    EXPECT_EQ(form.DumpType->currentText(), "2 Words per line");
    EXPECT_TRUE(form.DumpType->isHidden());
}

TEST_F(MemoryFormTest, ACountThatIsNoWholeNumberIsRefusedBeforeTheFileIsAskedFor)
{
    for (const char *bad : {"ten", "-8", "1.5", ""}) {
        dialogs.messages.clear();
        form.NumberOfWords->setText(bad);
        form.StartButtonClick();
        ASSERT_EQ(dialogs.messages.size(), 1u) << bad;
        EXPECT_EQ(dialogs.messages[0], std::string("Word Count '") + bad + "' is not a whole number from 0 up");
    }
    EXPECT_TRUE(dialogs.fileInitials.empty());
}

TEST_F(MemoryFormTest, WithoutALineTheDumpTimesOutAtOnceAndSaysSo)
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/memdump.xls";
    dialogs.files.push_back(path);
    form.NumberOfWords->setText("8");
    form.StartButtonClick();
    EXPECT_EQ(dialogs.messages,
              (std::vector<std::string>{"timeout receiving characters.  Words left 8", "dump complete"}));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(path)));
    ASSERT_GE(progress.events.size(), 2u);
    EXPECT_EQ(progress.events.front().caption, "Receiving Memory data from Engraver");
    EXPECT_EQ(progress.events.back().kind, test::ProgressEvent::Hide);
}

TEST_F(MemoryFormTest, StartIsTheDefaultButtonAndEscapeCloses)
{
    form.show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    EXPECT_TRUE(form.StartButton->isDefault());
    EXPECT_EQ(QApplication::focusWidget(), form.StartAddress);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), form.NumberOfWords);
    form.NumberOfWords->setText("oops");
    QTest::keyClick(form.NumberOfWords, Qt::Key_Return); // Enter presses Start
    EXPECT_EQ(dialogs.messages.size(), 1u);
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
}
