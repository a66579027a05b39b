// Reads a block of controller memory into a tab-separated file.
#pragma once

#include <QDialog>

namespace grittor {

class TMemoryForm : public QDialog {
    Q_OBJECT
public:
    explicit TMemoryForm(QWidget *parent = nullptr);
};

} // namespace grittor
