#include "pens/SelectMaterialForm.h"

#include "foundation/Dialogs.h"
#include "foundation/LogOutput.h"
#include "foundation/QtSeams.h"
#include "pens/Guarded.h"
#include "pens/LibraryStore.h"
#include "pens/MaterialLibrary.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace grittor {

namespace {
const char *const kLibraryFilter = "Material library (*.json);;All files (*)";
}

std::function<int(TSelectMaterialForm &)> TSelectMaterialForm::ModalRunner = [](TSelectMaterialForm &f) {
    return f.exec();
};

TSelectMaterialForm::TSelectMaterialForm(TLibraryStore &store, QWidget *parent)
    : TCloseQueryDialog("TSelectMaterialForm.FormCloseQuery", parent), store_(store)
{
    setObjectName("SelectMaterialForm");
    setWindowTitle("Select Material");
    setModal(true);

    MaterialGroup = new QGroupBox(" Material List ", this);
    MaterialGroup->setObjectName("MaterialGroup");
    MaterialList = new QListWidget(MaterialGroup);
    MaterialList->setObjectName("MaterialList");
    MaterialList->setSelectionMode(QAbstractItemView::SingleSelection);
    MaterialList->setMinimumSize(240, 220);
    auto *groupLayout = new QVBoxLayout(MaterialGroup);
    groupLayout->addWidget(MaterialList);

    NewMaterialLabel = new QLabel("&New Material Name", this);
    NewMaterialName = new QLineEdit(this);
    NewMaterialName->setObjectName("NewMaterialName");
    NewMaterialLabel->setBuddy(NewMaterialName);

    AddButton = new QPushButton("&Add", this);
    AddButton->setObjectName("AddButton");
    AddButton->setToolTip("Add the new name as a material");
    ChangeNameButton = new QPushButton("&Change Name", this);
    ChangeNameButton->setObjectName("ChangeNameButton");
    ChangeNameButton->setToolTip("Give the selected material the new name");
    DeleteButton = new QPushButton("&Delete", this);
    DeleteButton->setObjectName("DeleteButton");
    DeleteButton->setToolTip("Delete the selected material and its pens");
    ExportButton = new QPushButton("&Export...", this);
    ExportButton->setObjectName("ExportButton");
    ExportButton->setToolTip("Write the whole material library to a file");
    ImportButton = new QPushButton("&Import...", this);
    ImportButton->setObjectName("ImportButton");
    ImportButton->setToolTip("Replace the material library with one read from a file");
    OKButton = new QPushButton("OK", this);
    OKButton->setObjectName("OKButton");
    OKButton->setDefault(true);
    for (QPushButton *b : {AddButton, ChangeNameButton, DeleteButton, ExportButton, ImportButton})
        b->setAutoDefault(false);

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(AddButton);
    buttons->addWidget(ChangeNameButton);
    buttons->addWidget(DeleteButton);
    buttons->addSpacing(16);
    buttons->addWidget(ExportButton);
    buttons->addWidget(ImportButton);
    buttons->addStretch(1);
    buttons->addWidget(OKButton);

    auto *left = new QVBoxLayout;
    left->addWidget(MaterialGroup, 1);
    left->addWidget(NewMaterialLabel);
    left->addWidget(NewMaterialName);

    auto *outer = new QHBoxLayout(this);
    outer->addLayout(left, 1);
    outer->addLayout(buttons);

    setTabOrder(MaterialList, NewMaterialName);
    setTabOrder(NewMaterialName, AddButton);
    setTabOrder(AddButton, ChangeNameButton);
    setTabOrder(ChangeNameButton, DeleteButton);
    setTabOrder(DeleteButton, ExportButton);
    setTabOrder(ExportButton, ImportButton);
    setTabOrder(ImportButton, OKButton);

    // Return in the name field adds the material instead of closing.
    NewMaterialName->installEventFilter(this);

    connect(AddButton, &QPushButton::clicked, this,
            Guarded("TSelectMaterialForm.AddButtonClick", [this] { AddButtonClick(); }));
    connect(ChangeNameButton, &QPushButton::clicked, this,
            Guarded("TSelectMaterialForm.ChangeNameButtonClick", [this] { ChangeNameButtonClick(); }));
    connect(DeleteButton, &QPushButton::clicked, this,
            Guarded("TSelectMaterialForm.DeleteButtonClick", [this] { DeleteButtonClick(); }));
    connect(ExportButton, &QPushButton::clicked, this,
            Guarded("TSelectMaterialForm.ExportButtonClick", [this] { ExportButtonClick(); }));
    connect(ImportButton, &QPushButton::clicked, this,
            Guarded("TSelectMaterialForm.ImportButtonClick", [this] { ImportButtonClick(); }));
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    // Double-clicking a material chooses it.
    connect(MaterialList, &QListWidget::itemDoubleClicked, this, &QDialog::accept);

    FormCreate();
}

TSelectMaterialForm::~TSelectMaterialForm() = default;

TMaterialLibrary &TSelectMaterialForm::Library()
{
    return store_.Library();
}

void TSelectMaterialForm::FormCreate()
{
    // The selected material is kept with the library between runs, so it is
    // not reset here; a library without materials has none selected.
    if (!Library().IsMaterialIndex(Library().Selected()))
        Library().SetSelected(Library().MaterialCount() > 0 ? 0 : -1);
}

int TSelectMaterialForm::ShowModal()
{
    FormShow();
    return ModalRunner(*this);
}

void TSelectMaterialForm::FormShow()
{
    RefreshMaterialList();
    const std::string problem = store_.TakeLoadProblem();
    if (!problem.empty())
        GetDialogs().Message(problem);
    MaterialList->setFocus();
}

void TSelectMaterialForm::RefreshMaterialList()
{
    const QSignalBlocker block(MaterialList);
    MaterialList->clear();
    for (const std::string &name : Library().MaterialNames()) {
        auto *item = new QListWidgetItem(NameToQ(name), MaterialList);
        const int pens = Library().CountPensOfMaterial(MaterialList->count() - 1);
        item->setToolTip(pens == 1 ? QString("1 pen defined") : QString("%1 pens defined").arg(pens));
    }
    const int selected = Library().Selected();
    if (selected >= 0 && MaterialList->count() > selected)
        MaterialList->setCurrentRow(selected);
    else if (MaterialList->count() > 0)
        MaterialList->setCurrentRow(0);
    Library().SetSelected(MaterialList->currentRow());
    if (MaterialList->currentItem())
        MaterialList->scrollToItem(MaterialList->currentItem());
}

bool TSelectMaterialForm::FormCloseQuery()
{
    const int row = MaterialList->currentItem() ? MaterialList->currentRow() : -1;
    Library().SetSelected(row);
    if (row < 0) {
        GetDialogs().Message("Select a material");
        return false;
    }
    return true;
}

void TSelectMaterialForm::FormClose()
{
    std::string error;
    if (store_.Save(error) == LibrarySaveResult::Failed)
        GetDialogs().Message("The material library could not be saved to\r\n\"" + store_.Path() + "\":\r\n" +
                             error);
}

std::string TSelectMaterialForm::NewName() const
{
    return NameFromQ(NewMaterialName->text());
}

void TSelectMaterialForm::AddButtonClick()
{
    const std::string name = NewName();
    if (name.empty()) {
        GetDialogs().Message("Please enter a material name");
        return;
    }
    if (Library().MaterialNameExists(name)) {
        GetDialogs().Message("Name present");
        return;
    }
    Library().SetSelected(Library().AddMaterial(name));
    RefreshMaterialList();
    NewMaterialName->clear();
}

void TSelectMaterialForm::ChangeNameButtonClick()
{
    const int row = MaterialList->currentItem() ? MaterialList->currentRow() : -1;
    if (row < 0) {
        GetDialogs().Message("Select a material to rename");
        return;
    }
    const std::string name = NewName();
    if (name.empty()) {
        GetDialogs().Message("Please enter a material name");
        return;
    }
    if (Library().MaterialNameExists(name)) {
        GetDialogs().Message("New name present");
        return;
    }
    Library().RenameMaterial(row, name);
    Library().SetSelected(row);
    RefreshMaterialList();
    NewMaterialName->clear();
}

void TSelectMaterialForm::DeleteButtonClick()
{
    const int m = MaterialList->currentItem() ? MaterialList->currentRow() : -1;
    if (m < 0) {
        GetDialogs().Message("Select a material to delete");
        return;
    }
    const int n = Library().CountPensOfMaterial(m);
    if (n != 0 && !GetDialogs().Confirm("There are " + std::to_string(n) + " pens defined for this material\r\n" +
                                        "Are you sure you wish to delete this material?"))
        return;
    Library().SetSelected(m);
    Library().DeleteMaterial(m);
    RefreshMaterialList();
}

void TSelectMaterialForm::ExportButtonClick()
{
    const std::string initial = FromQ(QDir::homePath()) + "/Grittor Materials.json";
    auto chosen = GetDialogs().SaveFile("Export Material Library", initial, kLibraryFilter);
    if (!chosen || chosen->empty())
        return;
    std::string path = *chosen;
    if (QFileInfo(ToQ(path)).suffix().isEmpty())
        path += ".json";
    if (QFileInfo::exists(ToQ(path)) && !GetDialogs().Confirm("\"" + path + "\" already exists.\r\nReplace it?"))
        return;
    std::string error;
    if (!store_.Export(path, error)) {
        GetDialogs().Message("The material library could not be exported to\r\n\"" + path + "\":\r\n" + error);
        return;
    }
    GetDialogs().Message("Exported " +
                         DescribeLibrarySize(Library().MaterialCount(), Library().PenCount()) +
                         " to\r\n\"" + path + "\".");
}

void TSelectMaterialForm::ImportButtonClick()
{
    const std::string initial = FromQ(QDir::homePath()) + "/*.json";
    auto chosen = GetDialogs().OpenFile("Import Material Library", initial, kLibraryFilter);
    if (!chosen || chosen->empty())
        return;
    const std::string &path = *chosen;
    TLibrarySnapshot snapshot;
    std::string error;
    if (!ReadLibraryFile(path, snapshot, error)) {
        LogEntry("Material library not imported from \"" + path + "\": " + error);
        GetDialogs().Message("The material library could not be imported from\r\n\"" + path + "\":\r\n" + error);
        return;
    }
    const std::string question = "\"" + path + "\" holds " +
                                 DescribeLibrarySize(static_cast<int>(snapshot.Materials.size()), snapshot.PenCount()) +
                                 ".\r\n" + "Replace the current material library (" +
                                 DescribeLibrarySize(Library().MaterialCount(), Library().PenCount()) +
                                 ") with it?";
    if (!GetDialogs().Confirm(question))
        return;
    InstallLibrary(Library(), std::move(snapshot));
    LogEntry("Material library imported from \"" + path + "\"");
    RefreshMaterialList();
}


bool TSelectMaterialForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == NewMaterialName && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !NewMaterialName->text().isEmpty()) {
            Guarded("TSelectMaterialForm.AddButtonClick", [this] { AddButtonClick(); })();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace grittor
