#include "pens/PenForm.h"

#include "TestDoubles.h"
#include "foundation/LogOutput.h"
#include "foundation/option.h"
#include "pens/CopyForm.h"
#include "pens/LibraryStore.h"
#include "pens/MaterialLibrary.h"
#include "pens/RadioGroup.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

using namespace grittor;

namespace {

std::string LogText()
{
    QFile f(QString::fromStdString(LogOutput().FullPath()));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

// Types into an edit as the operator would (the edit becomes modified).
void Type(QLineEdit *e, const char *text)
{
    e->setText(text);
    e->setModified(true);
}

class PenFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        lib.AddMaterial("Granite");
        lib.AddMaterial("Marble");
        lib.SetSelected(0);
        form = std::make_unique<TPenForm>(store);
        form->FormShow();
    }
    void TearDown() override
    {
        TCopyForm::ModalRunner = [](TCopyForm &f) { return f.exec(); };
    }

    // Fills the edits of one record and presses Add/Update.
    bool AddPen(const char *pen, int color = 13, const char *radius = "0.5", const char *speed = "10",
                const char *passes = "2", const char *times = "1", int borderIndex = 0, int fillIndex = 1)
    {
        Type(form->PenNumber, pen);
        Type(form->DrawSpeed, speed);
        Type(form->Radius, radius);
        Type(form->ScanLine, "1");
        Type(form->VertPer, "0.25");
        Type(form->CenterOffset, "0.4");
        Type(form->Extra, "0");
        Type(form->passes, passes);
        Type(form->Times, times);
        Type(form->Margin, "0");
        Type(form->Marginy, "0");
        form->ColorListCB->setCurrentIndex(color);
        form->border->SetItemIndex(borderIndex);
        form->Fill->SetItemIndex(fillIndex);
        return form->AddButtonClick();
    }
    QStringList Lines() const
    {
        QStringList out;
        for (int i = 0; i < form->PenList->count(); ++i)
            out << form->PenList->item(i)->text();
        return out;
    }
    int RowOfPen(int pen) const
    {
        for (int i = 0; i < form->PenList->count(); ++i)
            if (form->PenList->item(i)->text().startsWith(QString::number(pen) + " : "))
                return i;
        return -1;
    }
    void Click(int row) { form->PenList->setCurrentRow(row); } // runs PenListClick as a click does

    test::TempSettings settings;
    test::ScriptedDialogs dialogs;
    TMaterialLibrary lib;
    TLibraryStore store{lib, MaterialLibraryPath(Options().SettingsFolder())};
    std::unique_ptr<TPenForm> form;
};

} // namespace

TEST_F(PenFormTest, StartsWithTheMaterialsNameAndEveryControl)
{
    EXPECT_EQ(form->windowTitle(), "Granite Pen Selection");
    EXPECT_EQ(form->PenGroupBox->title().toStdString(), PenListHeader);
    EXPECT_EQ(form->ColorListCB->count(), 18);
    EXPECT_EQ(form->ColorListCB->itemText(0), "Aqua   ");
    EXPECT_EQ(form->ColorListCB->itemText(17), "Yellow ");
    EXPECT_EQ(form->ColorListCB->currentIndex(), -1);
    EXPECT_EQ(form->border->Button(0)->text(), "False");
    EXPECT_EQ(form->border->Button(1)->text(), "True");
    EXPECT_EQ(form->Fill->Button(0)->text(), "Off");
    EXPECT_EQ(form->Fill->Button(1)->text(), "On");
    EXPECT_EQ(form->AddButton->text().remove('&'), "Add/Update");
    EXPECT_EQ(form->DeleteButton->text().remove('&'), "Delete");
    EXPECT_EQ(form->CopyButton->text().remove('&'), "Copy");
    for (const char *name :
         {"PenList",      "PenNumber",    "DrawSpeed",    "Radius",    "ScanLine",     "Margin",      "Marginy",
          "CenterOffset", "passes",       "Times",        "Extra",     "VertPer",      "ColorListCB", "border",
          "Fill",         "MarginXLabel", "MarginYLabel", "AddButton", "DeleteButton", "CopyButton"})
        EXPECT_NE(form->findChild<QWidget *>(name), nullptr) << name;
    EXPECT_FALSE(form->Changed());
    EXPECT_EQ(form->PenList->count(), 0);

    TPenForm other(store);
    lib.SetSelected(1);
    other.FormShow();
    EXPECT_EQ(other.windowTitle(), "Marble Pen Selection");
    EXPECT_EQ(other.CurrentMaterial, 1);
}

TEST_F(PenFormTest, RadiusAndScanLineTextsAreRoundedAndClamped)
{
    ASSERT_TRUE(AddPen("1", 13, "0.2"));
    EXPECT_EQ(lib.FindPen(0, 1)->radius, 381);
    EXPECT_EQ(lib.FindPen(0, 1)->ScanLine, 1016);
    EXPECT_EQ(form->Radius->text(), "0.38"); // the line is reselected and shows what was stored

    ASSERT_TRUE(AddPen("2", 13, "3"));
    EXPECT_EQ(lib.FindPen(0, 2)->radius, 2032);
    EXPECT_EQ(form->Radius->text(), "2.00");

    Type(form->ScanLine, "0.5");
    ASSERT_TRUE(form->AddButtonClick());
    EXPECT_EQ(lib.FindPen(0, 2)->ScanLine, 508);
    Type(form->ScanLine, "abc");
    ASSERT_TRUE(form->AddButtonClick());
    EXPECT_EQ(lib.FindPen(0, 2)->ScanLine, 381);
    Type(form->Radius, "nonsense");
    Type(form->CenterOffset, "x");
    Type(form->VertPer, "");
    ASSERT_TRUE(form->AddButtonClick());
    EXPECT_EQ(lib.FindPen(0, 2)->radius, 381);
    EXPECT_EQ(lib.FindPen(0, 2)->CenterOffset, 0.4L);
    EXPECT_EQ(lib.FindPen(0, 2)->vertper, 0.1875L);
}

TEST_F(PenFormTest, MarginsAreClampedToTheLimitsOfRadiusAndVertPer)
{
    Type(form->PenNumber, "3");
    form->ColorListCB->setCurrentIndex(2);
    Type(form->Radius, "1");
    Type(form->VertPer, "0.5");
    EXPECT_EQ(form->MarginXLabel->text(), "-2.00 to 2.00 inches");
    EXPECT_EQ(form->MarginYLabel->text(), "-0.50 to 2.00 inches");
    Type(form->Margin, "-5");
    Type(form->Marginy, "5");
    ASSERT_TRUE(form->AddButtonClick());
    const TPens *p = lib.FindPen(0, 3);
    EXPECT_EQ(p->margin.x, -2031.0L / 1016);
    EXPECT_EQ(p->margin.y, 2031.0L / 1016);
    EXPECT_EQ(form->Margin->text(), "-2.00");
    EXPECT_EQ(form->Marginy->text(), "2.00");
    EXPECT_NE(form->PenList->item(0)->text().indexOf(" : (-2.00, 2.00) : "), -1);

    Type(form->Marginy, "-1");
    ASSERT_TRUE(form->AddButtonClick());
    EXPECT_EQ(p->margin.y, -0.5L);

    // The labels show the limits the setters will use, radius and vertper
    // clamped first.
    Type(form->Radius, "0.1");
    Type(form->VertPer, "0");
    EXPECT_EQ(form->MarginXLabel->text(), "-0.75 to 0.75 inches");
    EXPECT_EQ(form->MarginYLabel->text(), "-0.19 to 0.75 inches");
}

TEST_F(PenFormTest, PassesBoundTimesAndUnreadableWholeNumbersFallBack)
{
    struct Case {
        const char *passes, *times;
        int storedPasses, storedTimes;
    } cases[] = {{"0", "5", 0, 0}, {"4", "0", 4, 1}, {"4", "9", 4, 4}, {"x", "x", 1, 1}, {"40", "35", 30, 30}};
    for (const Case &c : cases) {
        ASSERT_TRUE(AddPen("5", 1, "0.5", "x", c.passes, c.times));
        const TPens *p = lib.FindPen(0, 5);
        EXPECT_EQ(p->passes, c.storedPasses) << c.passes << "/" << c.times;
        EXPECT_EQ(p->Times, c.storedTimes) << c.passes << "/" << c.times;
        EXPECT_EQ(p->blowspeed, 10);
    }
    EXPECT_EQ(lib.PenTable().size(), 1u);
}

TEST_F(PenFormTest, PenNumberAndColourAreRefusedWithMessages)
{
    for (const char *bad : {"11", "-1", "x", "", "1.5"}) {
        dialogs.messages.clear();
        EXPECT_FALSE(AddPen(bad)) << bad;
        ASSERT_EQ(dialogs.messages.size(), 1u) << bad;
        EXPECT_EQ(dialogs.messages[0], "pen number must be in range 0-10");
    }
    EXPECT_TRUE(lib.PenTable().empty());
    dialogs.messages.clear();
    EXPECT_FALSE(AddPen("4", -1));
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"Select a color"});
    EXPECT_TRUE(lib.PenTable().empty());

    EXPECT_TRUE(AddPen("10"));
    EXPECT_TRUE(AddPen("0"));
    EXPECT_NE(lib.FindPen(0, 10), nullptr);
    EXPECT_NE(lib.FindPen(0, 0), nullptr);
}

TEST_F(PenFormTest, AddingAnExistingPenNumberUpdatesItsRecord)
{
    ASSERT_TRUE(AddPen("2", 13, "0.5", "12"));
    ASSERT_TRUE(AddPen("7", 13, "0.5", "8"));
    ASSERT_TRUE(AddPen("2", 6, "1", "20"));
    EXPECT_EQ(lib.PenTable().size(), 2u);
    EXPECT_EQ(lib.FindPen(0, 2)->blowspeed, 20);
    EXPECT_EQ(lib.FindPen(0, 2)->Color, 6);
    ASSERT_EQ(form->PenList->count(), 2);
    // Lines stay in table order; the updated record keeps its place.
    EXPECT_TRUE(form->PenList->item(0)->text().startsWith("2 : "));
    EXPECT_TRUE(form->PenList->item(1)->text().startsWith("7 : "));
    EXPECT_EQ(form->PenList->currentRow(), 0);
}

TEST_F(PenFormTest, ListShowsOnlyTheCurrentMaterialAndPointsIntoThePenTable)
{
    lib.FindOrAddPen(1, 4).SetBlowSpeed(3); // Marble's record comes first in the table
    ASSERT_TRUE(AddPen("1"));
    lib.FindOrAddPen(1, 5).SetBlowSpeed(3);
    ASSERT_TRUE(AddPen("2"));
    form->UpdateList();
    ASSERT_EQ(form->PenList->count(), 2);
    EXPECT_EQ(form->PenList->item(0)->data(Qt::UserRole).toInt(), 1);
    EXPECT_EQ(form->PenList->item(1)->data(Qt::UserRole).toInt(), 3);
    EXPECT_EQ(form->PenList->item(0)->text().toStdString(), PenListLine(*lib.FindPen(0, 1)));
}

TEST_F(PenFormTest, ValuesTheOperatorLeavesAloneKeepTheirExactStoredValues)
{
    TPens &p = lib.FindOrAddPen(0, 6);
    p.SetPen(6);
    p.SetBlowSpeed(9);
    p.SetCenterOffset(1.0L / 3);
    p.SetColor(3);
    p.SetExtra(0.125L);
    p.fill = 1;
    p.SetRadius(381);
    p.SetVertPer(0.1875L);
    p.SetPasses(3);
    p.SetScanLine(1200);
    p.SetTimes(2);
    p.SetMargin({0.333L, -0.111L});
    const TPens before = p;
    form->UpdateList();
    Click(0);
    EXPECT_EQ(form->Radius->text(), "0.38");
    EXPECT_EQ(form->VertPer->text(), "0.19");
    EXPECT_EQ(form->Extra->text(), "0.12"); // 0.125 is a tie: the formatter rounds it to even

    Type(form->DrawSpeed, "11");
    ASSERT_TRUE(form->AddButtonClick());
    EXPECT_EQ(p.blowspeed, 11);
    EXPECT_EQ(p.radius, before.radius); // not 386, the rounded text
    EXPECT_EQ(p.ScanLine, before.ScanLine);
    EXPECT_EQ(p.vertper, before.vertper);
    EXPECT_EQ(p.extra, before.extra);
    EXPECT_EQ(p.CenterOffset, before.CenterOffset);
    EXPECT_EQ(p.margin, before.margin);

    // Typing the text that is shown changes nothing; a different text is read
    // as typed.
    Type(form->Radius, "0.38");
    ASSERT_TRUE(form->AddButtonClick());
    EXPECT_EQ(p.radius, 381);
    Type(form->Radius, "0.39");
    Type(form->Extra, "0.13");
    ASSERT_TRUE(form->AddButtonClick());
    EXPECT_EQ(p.radius, 396);
    EXPECT_EQ(p.extra, 0.13L);
}

TEST_F(PenFormTest, ChangedNoticesEditsRadiosAndColour)
{
    ASSERT_TRUE(AddPen("1"));
    EXPECT_FALSE(form->Changed());
    form->Fill->SetItemIndex(0);
    EXPECT_TRUE(form->Changed());
    form->Fill->SetItemIndex(1);
    EXPECT_FALSE(form->Changed());
    form->border->SetItemIndex(1);
    EXPECT_TRUE(form->Changed());
    form->ClearChanged();
    EXPECT_FALSE(form->Changed());
    form->ColorListCB->setCurrentIndex(4);
    EXPECT_TRUE(form->Changed());
    form->ClearChanged();
    form->Times->setText("1"); // set by the program, not typed
    EXPECT_FALSE(form->Changed());
    Type(form->Times, "1");
    EXPECT_TRUE(form->Changed());
}

TEST_F(PenFormTest, ChoosingAnotherLineOffersToSaveTheEdits)
{
    ASSERT_TRUE(AddPen("1", 13, "0.5", "5"));
    ASSERT_TRUE(AddPen("2", 13, "0.5", "6"));
    Click(RowOfPen(1));
    EXPECT_EQ(form->DrawSpeed->text(), "5");

    // Yes stores the edits, then the chosen line is loaded.
    Type(form->DrawSpeed, "15");
    dialogs.answers.push_back(true);
    Click(RowOfPen(2));
    EXPECT_EQ(dialogs.confirmations, std::vector<std::string>{"Save changes?"});
    EXPECT_EQ(lib.FindPen(0, 1)->blowspeed, 15);
    EXPECT_EQ(form->PenList->currentRow(), RowOfPen(2));
    EXPECT_EQ(form->PenNumber->text(), "2");
    EXPECT_EQ(form->DrawSpeed->text(), "6");
    EXPECT_FALSE(form->Changed());

    // No drops them.
    Type(form->DrawSpeed, "16");
    dialogs.answers.push_back(false);
    Click(RowOfPen(1));
    EXPECT_EQ(lib.FindPen(0, 2)->blowspeed, 6);
    EXPECT_EQ(form->DrawSpeed->text(), "15");

    // Yes with edits that cannot be stored keeps them and the line they
    // belong to.
    Type(form->PenNumber, "12");
    Type(form->DrawSpeed, "17");
    dialogs.answers.push_back(true);
    dialogs.messages.clear();
    Click(RowOfPen(2));
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"pen number must be in range 0-10"});
    EXPECT_EQ(form->PenList->currentRow(), RowOfPen(1));
    EXPECT_EQ(form->PenNumber->text(), "12");
    EXPECT_EQ(form->DrawSpeed->text(), "17");
    EXPECT_TRUE(form->Changed());
}

TEST_F(PenFormTest, DeleteRemovesTheSelectedRecordAndLoadsTheFirstLine)
{
    form->PenList->setCurrentRow(-1);
    form->DeleteButtonClick();
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"select a pen to delete"});

    ASSERT_TRUE(AddPen("1", 13, "0.5", "5"));
    ASSERT_TRUE(AddPen("2", 13, "0.5", "6"));
    ASSERT_TRUE(AddPen("3", 13, "0.5", "7"));
    Click(RowOfPen(2));
    form->DeleteButtonClick();
    EXPECT_EQ(lib.FindPen(0, 2), nullptr);
    EXPECT_EQ(lib.PenTable().size(), 2u);
    EXPECT_EQ(form->PenList->count(), 2);
    EXPECT_EQ(form->PenList->currentRow(), 0);
    EXPECT_EQ(form->PenNumber->text(), "1");
    form->DeleteButtonClick();
    form->DeleteButtonClick();
    EXPECT_TRUE(lib.PenTable().empty());
    EXPECT_EQ(form->PenList->count(), 0);
}

TEST_F(PenFormTest, CloseChecksBorderAndFillOffWithEveryMessageInOrder)
{
    ASSERT_TRUE(AddPen("1", 1, "0.5", "10", "1", "1", 1, 0)); // border, fill off
    ASSERT_TRUE(AddPen("2", 1, "0.5", "10", "1", "1", 1, 0)); // border, fill off
    ASSERT_TRUE(AddPen("3", 1, "0.5", "10", "1", "1", 0, 0)); // fill off
    ASSERT_TRUE(AddPen("4", 1, "0.5", "10", "1", "1", 0, 1));
    dialogs.messages.clear();
    EXPECT_FALSE(form->FormCloseQuery());
    EXPECT_EQ(dialogs.messages,
              (std::vector<std::string>{
                  "The border pen cannot be Fill off",
                  "The border pen cannot be Fill off",
                  "You have 2 pens defined as border.\r\nOnly one pen can be defined as a border.",
                  "You have 3 pens defined as fill off.\r\nOnly one pen can be defined as a fill off.",
              }));

    // One border pen (fill on) and one fill-off pen may close.
    lib.FindPen(0, 1)->fill = 1;
    lib.FindPen(0, 2)->border = 0;
    lib.FindPen(0, 2)->fill = 1;
    dialogs.messages.clear();
    EXPECT_TRUE(form->FormCloseQuery());
    EXPECT_TRUE(dialogs.messages.empty());

    // Another material's records do not count.
    for (int n : {1, 2}) {
        TPens &p = lib.FindOrAddPen(1, n);
        p.border = 1;
        p.fill = 0;
    }
    EXPECT_TRUE(form->FormCloseQuery());

    lib.FindPen(0, 4)->border = 1;
    dialogs.messages.clear();
    EXPECT_FALSE(form->FormCloseQuery());
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{
                                    "You have 2 pens defined as border.\r\nOnly one pen can be defined as a border."});
}

TEST_F(PenFormTest, ClosingWithEditsAsksToSaveThem)
{
    ASSERT_TRUE(AddPen("1", 13, "0.5", "5"));
    Type(form->DrawSpeed, "9");
    dialogs.answers.push_back(false);
    EXPECT_TRUE(form->FormCloseQuery());
    EXPECT_EQ(dialogs.confirmations, std::vector<std::string>{"Save changes?"});
    EXPECT_EQ(lib.FindPen(0, 1)->blowspeed, 5);

    dialogs.answers.push_back(true);
    EXPECT_TRUE(form->FormCloseQuery());
    EXPECT_EQ(lib.FindPen(0, 1)->blowspeed, 9);

    // Edits that cannot be stored keep the window open.
    Type(form->PenNumber, "x");
    dialogs.answers.push_back(true);
    EXPECT_FALSE(form->FormCloseQuery());
    EXPECT_EQ(form->PenNumber->text(), "x");
}

TEST_F(PenFormTest, TheWindowStaysOpenWhileTheChecksRefuseAndSavesWhenItCloses)
{
    ASSERT_TRUE(AddPen("1", 1, "0.5", "10", "1", "1", 1, 0));
    form->show();
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(store.Path())));
    form->OKButton->click(); // the same checks
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(dialogs.messages.size(), 2u);

    lib.FindPen(0, 1)->fill = 1;
    form->OKButton->click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(store.Path())));
    EXPECT_TRUE(QFileInfo::exists(settings.FileName()));
    TLibrarySnapshot stored;
    std::string error;
    ASSERT_TRUE(ReadLibraryFile(store.Path(), stored, error)) << error;
    EXPECT_EQ(stored.PenCount(), 1);
}

TEST_F(PenFormTest, CopyOffersPensZeroToNineAndCopiesThroughTheSetters)
{
    // Source material Marble: pens 1, 3 and 10.
    TPens &s1 = lib.FindOrAddPen(1, 1);
    s1.SetBlowSpeed(21);
    s1.SetPasses(5);
    s1.SetTimes(5);
    s1.SetRadius(2032);
    s1.SetVertPer(1);
    s1.SetMargin({3.9L, 3.9L});
    lib.FindOrAddPen(1, 3).SetBlowSpeed(23);
    lib.FindOrAddPen(1, 10).SetBlowSpeed(20);
    // Granite's own pen 1 with smaller limits.
    ASSERT_TRUE(AddPen("1", 13, "0.375", "4", "1", "1"));

    int shown = 0;
    TCopyForm::ModalRunner = [&](TCopyForm &c) {
        ++shown;
        EXPECT_EQ(c.Material->count(), 2);
        EXPECT_EQ(c.Material->currentIndex(), 0);
        EXPECT_EQ(c.Pens->count(), 10);
        EXPECT_EQ(c.Pens->item(0)->text(), "0");
        EXPECT_EQ(c.Pens->item(9)->text(), "9");
        EXPECT_TRUE(c.Pens->selectedItems().isEmpty());
        c.Material->setCurrentIndex(1);
        for (int i : {1, 2, 3, 9})
            c.Pens->item(i)->setSelected(true);
        c.Buttons->button(QDialogButtonBox::Ok)->click();
        return c.result();
    };
    form->CopyButtonClick();
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(lib.CountPensOfMaterial(0), 2); // 2 and 9 have no source
    const TPens *c1 = lib.FindPen(0, 1);
    EXPECT_EQ(c1->blowspeed, 21);
    EXPECT_EQ(c1->Times, 5);
    EXPECT_EQ(c1->margin.x, 3.9L);
    EXPECT_EQ(c1->Material, 0);
    EXPECT_EQ(lib.FindPen(0, 3)->blowspeed, 23);
    EXPECT_EQ(lib.FindPen(0, 10), nullptr);
    EXPECT_EQ(form->PenList->count(), 2);

    // Cancel copies nothing but still refreshes the list.
    lib.FindOrAddPen(0, 8).SetBlowSpeed(1);
    TCopyForm::ModalRunner = [](TCopyForm &c) {
        c.Pens->item(3)->setSelected(true);
        c.Buttons->button(QDialogButtonBox::Cancel)->click();
        return c.result();
    };
    lib.FindPen(1, 3)->SetBlowSpeed(2);
    form->CopyButtonClick();
    EXPECT_EQ(lib.FindPen(0, 3)->blowspeed, 23);
    EXPECT_EQ(form->PenList->count(), 3);
}

TEST_F(PenFormTest, EveryOperationWritesItsEntryLine)
{
    const size_t start = LogText().size();
    ASSERT_TRUE(AddPen("1"));
    form->DeleteButtonClick();
    form->FormCloseQuery();
    form->FormClose();
    form->FormShow();
    const std::string log = LogText().substr(start);
    for (const char *entry :
         {"pen.AddButtonClick", "pen.Changed", "pen.ClearChanged", "pen.DeleteButtonClick", "pen.FormClose",
          "pen.FormCloseQuery", "pen.FormShowClick", "pen.PenListClick", "pen.UpdateList"})
        EXPECT_NE(log.find(std::string(":") + entry + "\r\n"), std::string::npos) << entry;
}
