// A titled group of radio buttons laid out in columns, with the index of the
// chosen one (-1 for none).
#pragma once

#include <QGroupBox>
#include <QStringList>
#include <vector>

class QButtonGroup;
class QRadioButton;

namespace grittor {

class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    TRadioGroup(const QString &title, const QStringList &items, int columns, QWidget *parent = nullptr);

    int ItemIndex() const;
    // -1 clears the choice.
    void SetItemIndex(int index);
    QRadioButton *Button(int index) const { return buttons_.at(static_cast<size_t>(index)); }
    int Count() const { return static_cast<int>(buttons_.size()); }

signals:
    // The operator chose an item.
    void Clicked(int index);

private:
    QButtonGroup *group_ = nullptr;
    std::vector<QRadioButton *> buttons_;
};

} // namespace grittor
