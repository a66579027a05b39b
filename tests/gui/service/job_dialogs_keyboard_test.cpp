// The dialogs of a blast work by keyboard alone: the calibration fields in
// reading order with OK as the default, Escape cancelling; Escape on the
// job progress window cancels the job while Enter does not; the target
// picture closes with Escape.
#include "operation/JobProgress.h"
#include "service/CalToPrint.h"
#include "service/Calibrate.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace grittor;

namespace {

// The widgets focus passes through from `first`, by Tab, until it comes back.
std::vector<QString> TabCycle(QWidget *first, int most = 12)
{
    std::vector<QString> names;
    first->setFocus();
    QApplication::processEvents();
    for (int i = 0; i < most; ++i) {
        QWidget *w = QApplication::focusWidget();
        if (!w || (i > 0 && w == first))
            break;
        names.push_back(w->objectName());
        QTest::keyClick(w, Qt::Key_Tab);
    }
    return names;
}

} // namespace

TEST(JobDialogsKeyboard, CalibrationTabsInReadingOrderAcceptsOnEnterAndCancelsOnEscape)
{
    TCalibrateFrm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.activateWindow();
    EXPECT_EQ(TabCycle(form.XDrawn), (std::vector<QString>{"XDrawn", "XMeasured", "YDrawn", "YMeasured", "OKButton",
                                                             "CancelButton"}));

    int result = -1;
    QObject::connect(&form, &QDialog::finished, [&](int r) { result = r; });
    form.YMeasured->setFocus();
    QTest::keyClick(form.YMeasured, Qt::Key_Return);
    EXPECT_EQ(result, QDialog::Accepted) << "Enter in a field is OK";

    form.show();
    form.XDrawn->setFocus();
    result = -1;
    QTest::keyClick(form.XDrawn, Qt::Key_Escape);
    EXPECT_EQ(result, QDialog::Rejected);

    // Alt+letter reaches each field from anywhere in the dialog.
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    form.XDrawn->setFocus();
    QTest::keyClick(&form, Qt::Key_E, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), form.YMeasured);
}

TEST(JobDialogsKeyboard, EscapeOnTheProgressWindowCancelsTheJobAndEnterDoesNot)
{
    TJobProgressForm form;
    int cancels = 0;
    form.Start("Job Progress", [] { return TJobProgress{}; }, [&] { ++cancels; });
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.activateWindow();
    QTest::keyClick(&form, Qt::Key_Return);
    EXPECT_EQ(cancels, 0) << "an Enter meant for another window must not end a job";
    EXPECT_TRUE(form.isVisible());
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_EQ(cancels, 1);
    EXPECT_TRUE(form.isVisible()) << "the window stays until the job has ended";
    QTest::keyClick(form.CancelButton, Qt::Key_Space);
    EXPECT_EQ(cancels, 2);
    form.Stop();
    EXPECT_FALSE(form.isVisible());
}

TEST(JobDialogsKeyboard, TheTargetPictureClosesWithEscape)
{
    TCalToPrintForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
}
