#include "service/Memory.h"

#include "foundation/AbortFlags.h"
#include "foundation/Clock.h"
#include "foundation/Dialogs.h"
#include "foundation/LogOutput.h"
#include "foundation/Progress.h"
#include "foundation/QtSeams.h"
#include "foundation/UiHooks.h"
#include "link/TSerial.h"
#include "operation/MainForm.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>

namespace grittor {

TMemoryForm::TMemoryForm(QWidget *parent) : QDialog(parent)
{
    setObjectName("MemoryForm");
    setWindowTitle("Memory Dump");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto *top = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    StartAddress = new QLineEdit("00000000", this);
    StartAddress->setObjectName("StartAddress");
    StartAddress->setToolTip("Hexadecimal");
    NumberOfWords = new QLineEdit("1024", this);
    NumberOfWords->setObjectName("NumberOfWords");
    NumberOfWords->setToolTip("Raised to a multiple of 4");
    form->addRow("Start &Address", StartAddress);
    form->addRow("&Word Count", NumberOfWords);
    DumpType = new QComboBox(this);
    DumpType->setObjectName("DumpType");
    DumpType->addItem("2 Words per line");
    DumpType->hide();
    top->addLayout(form);
    auto *buttons = new QDialogButtonBox(this);
    StartButton = buttons->addButton("&Start", QDialogButtonBox::AcceptRole);
    StartButton->setObjectName("StartButton");
    StartButton->setDefault(true);
    buttons->addButton(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(StartButton, &QPushButton::clicked, this, [this] {
        TMainFrm *m = MainFrm();
        if (!m)
            StartButtonClick();
        else if (!m->Gate().Run(TCommandId::Tuning, [this] { StartButtonClick(); }))
            ShowMessage("Busy: let the current work finish first");
    });
    top->addWidget(buttons);
    setMinimumWidth(320);
}

void TMemoryForm::StartButtonClick()
{
    LogEntry("StartButtonClick");
    const uint32_t address = TMemoryDump::ParseAddress(FromQ(StartAddress->text()));
    const std::string countText = FromQ(NumberOfWords->text());
    const std::optional<int32_t> words = TMemoryDump::WordCount(countText);
    if (!words) {
        ShowMessage("Word Count '" + countText + "' is not a whole number from 0 up");
        NumberOfWords->setFocus();
        NumberOfWords->selectAll();
        return;
    }
    NumberOfWords->setText(QString::number(*words));
    StartAddress->setText(ToQ(TMemoryDump::AddressText(address)));

    const std::string initial = FromQ(QDir::tempPath()) + "/memdump.xls";
    const auto chosen = GetDialogs().SaveFile("Memory Dump", initial, "Spreadsheet (*.xls)");
    if (!chosen)
        return;
    std::remove(chosen->c_str());
    std::FILE *file = std::fopen(chosen->c_str(), "wb");
    if (!file) {
        ShowMessage("Unable to write " + *chosen);
        return;
    }

    outcome_ = TDumpOutcome{};
    TMainFrm *m = MainFrm();
    if (m)
        m->EnsureLink();
    TSerial *link = m ? m->Serial() : nullptr;
    AbortFlags &flags = GetAbortFlags();
    flags.Cancelled = false; // a job cancelled earlier does not stop a new dump
    flags.OperationCancelled = false;
    Progress &progress = GetProgress();
    progress.Show("Receiving Memory data from Engraver");
    if (link && !link->IsNone()) {
        // Off before the command goes out: in terminal mode the receive
        // thread would hand the first records to the terminal.
        m->SetTerminalMode(false);
        link->purge_input();
        link->send_string(TMemoryDump::Command(address, *words));
        Clock &clock = GetClock();
        const int64_t end = clock.NowMs() + commandPauseMs_;
        while (clock.NowMs() < end && !flags.Any() && !flags.OperationCancelled) {
            ProcessMessages();
            clock.SleepMs(static_cast<int>(std::min<int64_t>(20, end - clock.NowMs())));
        }
        outcome_ = TMemoryDump::Receive(link->InQueue(), *words, file, progress, flags, link->ReplyTimeout());
    } else {
        outcome_.TimedOut = true; // no line: nothing can arrive
        outcome_.WordsLeft = *words;
    }
    progress.Hide();
    if (std::fclose(file) != 0)
        outcome_.WriteFailed = true;
    if (outcome_.Aborted)
        return;
    if (outcome_.WriteFailed)
        ShowMessage("Unable to write " + *chosen);
    if (outcome_.TimedOut)
        ShowMessage("timeout receiving characters.  Words left " + std::to_string(outcome_.WordsLeft));
    ShowMessage("dump complete");
}

} // namespace grittor
