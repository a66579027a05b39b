// Reads a block of the controller's memory into a tab-separated file that a
// spreadsheet opens ("memdump.xls"): two words a line, signed decimal.
#pragma once

#include "service/MemoryDump.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace grittor {

class TMemoryForm : public QDialog {
    Q_OBJECT
public:
    explicit TMemoryForm(QWidget *parent = nullptr);

    QLineEdit *StartAddress = nullptr; // hexadecimal
    QLineEdit *NumberOfWords = nullptr;
    QPushButton *StartButton = nullptr;
    QComboBox *DumpType = nullptr; // hidden: "2 Words per line"

    void StartButtonClick();
    // How long the machine is given after the dump command before the
    // records are read (2 s; tests shorten it).
    void SetCommandPauseMs(int ms) { commandPauseMs_ = ms; }
    // How the last dump ended.
    const TDumpOutcome &LastOutcome() const { return outcome_; }

private:
    int commandPauseMs_ = 2000;
    TDumpOutcome outcome_;
};

} // namespace grittor
