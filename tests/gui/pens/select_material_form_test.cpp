#include "pens/SelectMaterialForm.h"

#include "TestDoubles.h"
#include "foundation/LogOutput.h"
#include "foundation/option.h"
#include "pens/LibraryStore.h"
#include "pens/MaterialLibrary.h"
#include "pens/PenForm.h"
#include "pens/PenParameters.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace grittor;

namespace {

std::string ReadAll(const std::string &path)
{
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

void WriteAll(const std::string &path, const std::string &text)
{
    QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text.data(), static_cast<qint64>(text.size()));
}

class MaterialFormTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        TSelectMaterialForm::ModalRunner = [](TSelectMaterialForm &f) { return f.exec(); };
        TPenForm::ModalRunner = [](TPenForm &f) { return f.exec(); };
    }
    void Add(TSelectMaterialForm &f, const char *name)
    {
        f.NewMaterialName->setText(name);
        f.AddButtonClick();
    }
    QStringList Names(const TSelectMaterialForm &f) const
    {
        QStringList out;
        for (int i = 0; i < f.MaterialList->count(); ++i)
            out << f.MaterialList->item(i)->text();
        return out;
    }
    test::TempSettings settings;
    test::ScriptedDialogs dialogs;
    TMaterialLibrary lib;
    TLibraryStore store{lib, MaterialLibraryPath(Options().SettingsFolder())};
};

} // namespace

TEST_F(MaterialFormTest, AddKeepsNamesUniqueAndSelectsTheNewOne)
{
    TSelectMaterialForm f(store);
    EXPECT_EQ(f.windowTitle(), "Select Material");
    EXPECT_EQ(f.MaterialGroup->title(), " Material List ");
    f.FormShow();
    Add(f, "");
    Add(f, "Granite");
    Add(f, "Marble");
    Add(f, "Granite");
    Add(f, "granite");
    EXPECT_EQ(dialogs.messages, (std::vector<std::string>{"Please enter a material name", "Name present"}));
    EXPECT_EQ(Names(f), (QStringList{"Granite", "Marble", "granite"}));
    EXPECT_EQ(f.MaterialList->currentRow(), 2);
    EXPECT_EQ(lib.Selected(), 2);

    // Return in the name field adds too.
    f.NewMaterialName->setText("Slate");
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(f.NewMaterialName, &press);
    EXPECT_EQ(Names(f).last(), "Slate");
    EXPECT_EQ(lib.Selected(), 3);
}

TEST_F(MaterialFormTest, RenameRefusesPresentNamesIncludingItsOwn)
{
    lib.AddMaterial("Granite");
    lib.AddMaterial("Marble");
    lib.FindOrAddPen(1, 2).SetBlowSpeed(7);
    TSelectMaterialForm f(store);
    f.FormShow();
    f.MaterialList->setCurrentRow(-1);
    f.MaterialList->clearSelection();
    f.NewMaterialName->setText("Basalt");
    f.ChangeNameButtonClick();
    f.MaterialList->setCurrentRow(1);
    f.NewMaterialName->setText("Marble");
    f.ChangeNameButtonClick();
    f.NewMaterialName->setText("Granite");
    f.ChangeNameButtonClick();
    f.NewMaterialName->clear();
    f.ChangeNameButtonClick();
    EXPECT_EQ(dialogs.messages, (std::vector<std::string>{"Select a material to rename", "New name present",
                                                          "New name present", "Please enter a material name"}));
    f.NewMaterialName->setText("marble");
    f.ChangeNameButtonClick();
    EXPECT_EQ(Names(f), (QStringList{"Granite", "marble"}));
    EXPECT_EQ(f.MaterialList->currentRow(), 1);
    EXPECT_EQ(lib.FindPen(1, 2)->blowspeed, 7);
}

TEST_F(MaterialFormTest, DeleteAsksWhenPensExistRenumbersAndSelectsTheNext)
{
    for (const char *n : {"A", "B", "C"})
        lib.AddMaterial(n);
    lib.FindOrAddPen(0, 1).SetBlowSpeed(1);
    lib.FindOrAddPen(1, 1).SetBlowSpeed(2);
    lib.FindOrAddPen(2, 1).SetBlowSpeed(3);
    lib.FindOrAddPen(1, 2).SetBlowSpeed(2);
    lib.FindOrAddPen(2, 4).SetBlowSpeed(3);
    TSelectMaterialForm f(store);
    f.FormShow();
    f.MaterialList->setCurrentRow(1);

    f.DeleteButtonClick(); // scripted No
    ASSERT_EQ(dialogs.confirmations.size(), 1u);
    EXPECT_EQ(dialogs.confirmations[0],
              "There are 2 pens defined for this material\r\nAre you sure you wish to delete this material?");
    EXPECT_EQ(Names(f), (QStringList{"A", "B", "C"}));

    dialogs.answers.push_back(true);
    f.DeleteButtonClick();
    EXPECT_EQ(Names(f), (QStringList{"A", "C"}));
    EXPECT_EQ(f.MaterialList->currentRow(), 1);
    EXPECT_EQ(lib.Selected(), 1);
    EXPECT_EQ(lib.FindPen(0, 1)->blowspeed, 1);
    EXPECT_EQ(lib.FindPen(1, 1)->blowspeed, 3);
    EXPECT_EQ(lib.FindPen(1, 4)->blowspeed, 3);
    EXPECT_EQ(lib.FindPen(1, 2), nullptr);
    EXPECT_EQ(lib.PenTable().size(), 3u);

    // A material without pens goes without a question.
    lib.AddMaterial("D");
    f.RefreshMaterialList();
    f.MaterialList->setCurrentRow(2);
    f.DeleteButtonClick();
    EXPECT_EQ(dialogs.confirmations.size(), 2u);
    EXPECT_EQ(Names(f), (QStringList{"A", "C"}));
    EXPECT_EQ(f.MaterialList->currentRow(), 0); // nothing moved into its place: the first

    f.MaterialList->setCurrentRow(-1);
    f.MaterialList->clearSelection();
    dialogs.messages.clear();
    f.DeleteButtonClick();
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"Select a material to delete"});
}

TEST_F(MaterialFormTest, TheWindowCannotCloseWithoutAMaterial)
{
    TSelectMaterialForm f(store);
    f.FormShow();
    EXPECT_FALSE(f.FormCloseQuery());
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"Select a material"});
    EXPECT_EQ(lib.Selected(), -1);

    Add(f, "Only");
    lib.FindOrAddPen(0, 1);
    dialogs.answers.push_back(true);
    f.DeleteButtonClick();
    EXPECT_EQ(lib.Selected(), -1);
    f.show();
    EXPECT_FALSE(f.close());
    EXPECT_TRUE(f.isVisible());
    f.OKButton->click();
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(dialogs.messages.back(), "Select a material");

    Add(f, "Again");
    Add(f, "Second");
    f.MaterialList->setCurrentRow(0);
    f.OKButton->click();
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(lib.Selected(), 0);
    TLibrarySnapshot stored;
    std::string error;
    ASSERT_TRUE(ReadLibraryFile(store.Path(), stored, error)) << error;
    EXPECT_EQ(stored.Materials, (std::vector<std::string>{"Again", "Second"}));
    EXPECT_EQ(stored.Selected, 0);
}

TEST_F(MaterialFormTest, RefreshKeepsAValidSelectionOrFallsBackToTheFirst)
{
    for (const char *n : {"A", "B", "C"})
        lib.AddMaterial(n);
    TSelectMaterialForm f(store);
    lib.SetSelected(2);
    f.RefreshMaterialList();
    EXPECT_EQ(f.MaterialList->currentRow(), 2);
    lib.SetSelected(3);
    f.RefreshMaterialList();
    EXPECT_EQ(f.MaterialList->currentRow(), 0);
    EXPECT_EQ(lib.Selected(), 0);
}

TEST_F(MaterialFormTest, ExportAndImportCopyTheWholeLibraryAfterAConfirmation)
{
    lib.AddMaterial("Granite");
    lib.AddMaterial("Marble");
    for (int pen : {1, 2, 3})
        lib.FindOrAddPen(0, pen).SetBlowSpeed(pen);
    lib.FindOrAddPen(1, 1).SetBlowSpeed(9);
    TSelectMaterialForm f(store);
    f.FormShow();

    const std::string file = settings.Path().toStdString() + "/exchange/library";
    dialogs.files.push_back(file);
    f.ExportButtonClick();
    const std::string written = file + ".json";
    ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(written)));
    EXPECT_EQ(dialogs.messages.back(), "Exported 2 materials and 4 pens to\r\n\"" + written + "\".");

    // Exporting over a file asks first; No leaves it alone.
    WriteAll(written, "keep me");
    dialogs.files.push_back(written);
    f.ExportButtonClick();
    EXPECT_EQ(dialogs.confirmations.back(), "\"" + written + "\" already exists.\r\nReplace it?");
    EXPECT_EQ(ReadAll(written), "keep me");
    dialogs.files.push_back(written);
    dialogs.answers.push_back(true);
    f.ExportButtonClick();
    const std::string exported = ReadAll(written);
    EXPECT_NE(exported.find("\"Marble\""), std::string::npos);

    // The operator starts over, then brings the exported library back.
    dialogs.answers.push_back(true);
    f.MaterialList->setCurrentRow(0);
    f.DeleteButtonClick();
    Add(f, "Scratch");
    ASSERT_EQ(Names(f), (QStringList{"Marble", "Scratch"}));

    dialogs.files.push_back(written);
    dialogs.answers.push_back(false);
    f.ImportButtonClick();
    EXPECT_EQ(dialogs.confirmations.back(),
              "\"" + written +
                  "\" holds 2 materials and 4 pens.\r\n"
                  "Replace the current material library (2 materials and 1 pen) with it?");
    EXPECT_EQ(Names(f), (QStringList{"Marble", "Scratch"}));

    dialogs.files.push_back(written);
    dialogs.answers.push_back(true);
    f.ImportButtonClick();
    EXPECT_EQ(Names(f), (QStringList{"Granite", "Marble"}));
    EXPECT_EQ(lib.FindPen(0, 3)->blowspeed, 3);
    EXPECT_EQ(lib.FindPen(1, 1)->blowspeed, 9);
    EXPECT_EQ(lib.PenTable().size(), 4u);

    // A file that is not a library changes nothing.
    const std::string junk = settings.Path().toStdString() + "/junk.json";
    WriteAll(junk, "{\"materials\": 3}");
    dialogs.files.push_back(junk);
    const size_t asked = dialogs.confirmations.size();
    f.ImportButtonClick();
    EXPECT_EQ(dialogs.confirmations.size(), asked);
    EXPECT_NE(dialogs.messages.back().find("could not be imported"), std::string::npos);
    EXPECT_EQ(Names(f), (QStringList{"Granite", "Marble"}));

    // Cancelled choosers do nothing.
    f.ImportButtonClick();
    f.ExportButtonClick();
    EXPECT_EQ(Names(f), (QStringList{"Granite", "Marble"}));
}

TEST_F(MaterialFormTest, ALoadProblemIsShownOnceWhenTheWindowFirstShows)
{
    const std::string path = store.Path();
    WriteAll(path, "not a library");
    store.Load();
    TSelectMaterialForm f(store);
    f.FormShow();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].find("could not be loaded"), std::string::npos);
    f.FormShow();
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(store.TakeLoadProblem(), "");

    // The main window may have shown it already.
    store.Load();
    EXPECT_FALSE(store.TakeLoadProblem().empty());
    TSelectMaterialForm g(store);
    g.FormShow();
    EXPECT_EQ(dialogs.messages.size(), 1u);

    // Closing the window without building a library leaves the file alone.
    Add(g, "New");
    g.OKButton->click(); // the scripted answer to "Replace it ...?" is No
    EXPECT_EQ(ReadAll(path), "not a library");
    EXPECT_EQ(ReadAll(path + ".bad"), "not a library");
}

TEST_F(MaterialFormTest, PenParametersShowsTheMaterialWindowThenTheEditorOfTheChosenMaterial)
{
    lib.AddMaterial("Granite");
    lib.AddMaterial("Marble");
    std::vector<std::string> shown;
    TSelectMaterialForm::ModalRunner = [&](TSelectMaterialForm &f) {
        shown.push_back(f.windowTitle().toStdString());
        EXPECT_EQ(f.MaterialList->count(), 2);
        f.MaterialList->setCurrentRow(1);
        f.OKButton->click();
        return f.result();
    };
    TPenForm::ModalRunner = [&](TPenForm &f) {
        shown.push_back(f.windowTitle().toStdString());
        EXPECT_EQ(f.CurrentMaterial, 1);
        return 1;
    };
    const size_t start = ReadAll(LogOutput().FullPath()).size();
    PenParameters1Click(nullptr, store);
    EXPECT_EQ(shown, (std::vector<std::string>{"Select Material", "Marble Pen Selection"}));
    EXPECT_EQ(lib.Selected(), 1);
    EXPECT_NE(ReadAll(LogOutput().FullPath()).substr(start).find(":PenParameters1MenuClick\r\n"), std::string::npos);
}

TEST_F(MaterialFormTest, NamesOutsideLatin1AreKeptAsTypedAndShownAsStored)
{
    // Two Chinese names both became "??" and then counted as one name.
    TSelectMaterialForm f(store);
    f.FormShow();
    const QString granite = QString::fromUtf8("\xE8\x8A\xB1\xE5\xB2\x97\xE5\xB2\xA9");
    const QString marble = QString::fromUtf8("\xE5\xA4\xA7\xE7\x90\x86\xE7\x9F\xB3");
    Add(f, granite.toUtf8().constData());
    Add(f, marble.toUtf8().constData());
    Add(f, "Glas-\xC3\x84tzung");
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(Names(f), (QStringList{granite, marble, QString::fromUtf8("Glas-\xC3\x84tzung")}));
    EXPECT_EQ(lib.MaterialNames(), (std::vector<std::string>{"\xE8\x8A\xB1\xE5\xB2\x97\xE5\xB2\xA9",
                                                             "\xE5\xA4\xA7\xE7\x90\x86\xE7\x9F\xB3",
                                                             "Glas-\xC3\x84tzung"}));
}
