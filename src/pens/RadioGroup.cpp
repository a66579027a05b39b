#include "pens/RadioGroup.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

namespace grittor {

TRadioGroup::TRadioGroup(const QString &title, const QStringList &items, int columns, QWidget *parent)
    : QGroupBox(title, parent), group_(new QButtonGroup(this))
{
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(8, 4, 8, 4);
    const int cols = columns < 1 ? 1 : columns;
    const int rows = (static_cast<int>(items.size()) + cols - 1) / cols;
    for (int i = 0; i < items.size(); ++i) {
        auto *b = new QRadioButton(items[i], this);
        b->setObjectName(items[i]);
        group_->addButton(b, i);
        // Filled column by column, as a radio group with columns lists them.
        grid->addWidget(b, i % rows, i / rows);
        buttons_.push_back(b);
    }
    connect(group_, &QButtonGroup::idClicked, this, &TRadioGroup::Clicked);
}

int TRadioGroup::ItemIndex() const
{
    return group_->checkedId();
}

void TRadioGroup::SetItemIndex(int index)
{
    if (index >= 0 && index < Count()) {
        buttons_[static_cast<size_t>(index)]->setChecked(true);
        return;
    }
    // An exclusive group will not uncheck its last button.
    group_->setExclusive(false);
    for (auto *b : buttons_)
        b->setChecked(false);
    group_->setExclusive(true);
}

} // namespace grittor
