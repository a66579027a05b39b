// Loads a file of raw bytes and prepares a picture sized for it.
#pragma once

#include <QDialog>

namespace grittor {

class TReadAndDisplayForm : public QDialog {
    Q_OBJECT
public:
    explicit TReadAndDisplayForm(QWidget *parent = nullptr);
};

} // namespace grittor
