#include "pens/CopyForm.h"

#include "foundation/QtSeams.h"
#include "pens/MaterialLibrary.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace grittor {

std::function<int(TCopyForm &)> TCopyForm::ModalRunner = [](TCopyForm &f) { return f.exec(); };

TCopyForm::TCopyForm(const TMaterialLibrary &library, QWidget *parent) : QDialog(parent), library_(library)
{
    setObjectName("CopyForm");
    setWindowTitle("Copy Pens");
    setModal(true);

    Material = new QComboBox(this);
    Material->setObjectName("Material");
    Material->setMinimumWidth(200);
    Pens = new QListWidget(this);
    Pens->setObjectName("Pens");
    // Click to toggle a pen; several may be chosen.
    Pens->setSelectionMode(QAbstractItemView::MultiSelection);
    for (int i = 0; i <= 9; ++i)
        Pens->addItem(QString::number(i));
    Pens->setFlow(QListView::LeftToRight);
    Pens->setWrapping(true);
    Pens->setUniformItemSizes(true);
    Pens->setGridSize(QSize(36, 28));
    Pens->setFixedHeight(2 * 28 + 2 * Pens->frameWidth() + 4);
    Pens->setToolTip("Click the pens to copy; pen 10 cannot be copied");

    auto *materialLabel = new QLabel("Copy from &material", this);
    materialLabel->setBuddy(Material);
    auto *pensLabel = new QLabel("&Pens", this);
    pensLabel->setBuddy(Pens);

    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Buttons->setObjectName("Buttons");
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *form = new QFormLayout;
    form->addRow(materialLabel, Material);
    form->addRow(pensLabel, Pens);
    auto *outer = new QVBoxLayout(this);
    outer->addLayout(form);
    outer->addWidget(Buttons);
}

int TCopyForm::ShowModal()
{
    FormShow();
    return ModalRunner(*this);
}

void TCopyForm::FormShow()
{
    Material->clear();
    for (const std::string &name : library_.MaterialNames())
        Material->addItem(NameToQ(name));
    Material->setCurrentIndex(Material->count() > 0 ? 0 : -1);
    Pens->setCurrentRow(-1);
    Pens->clearSelection();
}

int TCopyForm::ChosenMaterial() const
{
    return Material->currentIndex();
}

std::vector<int> TCopyForm::ChosenPens() const
{
    std::vector<int> pens;
    for (int i = 0; i < Pens->count(); ++i)
        if (Pens->item(i)->isSelected())
            pens.push_back(i);
    return pens;
}

} // namespace grittor
