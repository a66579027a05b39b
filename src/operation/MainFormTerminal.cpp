// The terminal of the main window: lines exchanged with the machine, the
// keys typed into it, and its copy in the debug log.
#include "operation/MainForm.h"

#include "foundation/Clock.h"
#include "foundation/LogOutput.h"
#include "foundation/QtSeams.h"
#include "link/TSerial.h"

#include <QAction>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QShortcut>
#include <QTextBlock>

namespace grittor {

namespace {

constexpr size_t kKeptLines = 50;
constexpr size_t kDisplayWidth = 100;

// Leading and trailing blanks and control characters go; a NUL is removed;
// any other byte outside 32..126 shows as "#" and its decimal code.
std::string CleanTerminalText(const std::string &raw)
{
    const std::string trimmed = Trim(raw);
    std::string out;
    out.reserve(trimmed.size());
    for (char ch : trimmed) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == 0)
            continue;
        if (c < 32 || c > 126) {
            out += '#';
            out += std::to_string(c);
        } else {
            out += ch;
        }
    }
    return out;
}

} // namespace

void TMainFrm::AddTerminalLine(const std::string &textIn, bool addTimestamp)
{
    std::string text = textIn;
    if (addTimestamp)
        text = GetClock().WallNow().toString("dd.hh:mm:ss").toStdString() + " | " + text;
    text = CleanTerminalText(text);
    const bool fragment = !text.empty() && (text[0] == '<' || text[0] == '>');
    const bool lastWasLong = screen_.AddLine(text, kKeptLines, kDisplayWidth);

    // The debug log gets the whole line; character-log fragments make one
    // log line until a normal line follows or the terminal line is full.
    TLogOutput &log = LogOutput();
    const QAction *charLog = Action(TCommandId::EnableCharacterLog);
    if (!fragment) {
        if (charLog && charLog->isChecked() && charLogLineOpen_)
            log.Write("\r\n", false, false);
        log.Write(text, false, false);
        log.Write("\r\n", false, false);
        charLogLineOpen_ = false;
    } else {
        log.Write(text, false, false);
        charLogLineOpen_ = true;
        if (lastWasLong) {
            log.Write("\r\n", false, false);
            charLogLineOpen_ = false;
        }
    }
}

void TMainFrm::ReportOutput(const std::string &text, bool toTerminal)
{
    if (toTerminal)
        AddTerminalLine(text, true);
    else
        LogOutput().Write(text, true, true);
}

void TMainFrm::SetTerminalMode(bool on)
{
    terminalMode_ = on;
    if (QAction *a = Action(TCommandId::TerminalMode))
        a->setChecked(on);
    if (serial_)
        serial_->SetTerminalMode(on);
}

void TMainFrm::TerminalModeMenuClick()
{
    LogEntry("TerminalModeMenuClick");
    SetTerminalMode(!Action(TCommandId::TerminalMode)->isChecked());
}

void TMainFrm::DrainSerialLines()
{
    if (!serial_)
        return;
    serial_->DrainLines([this](const std::string &line) { AddTerminalLine(line, false); });
}

void TMainFrm::TerminalRefresh()
{
    const TTerminalScreen::Snapshot screen = screen_.Take();
    if (screen.Changes == 0)
        return;
    QStringList lines;
    lines.reserve(static_cast<int>(screen.Lines.size()));
    for (const auto &l : screen.Lines)
        lines << ToQ(l);
    const QString text = lines.join('\n');
    Memo->setPlainText(text);
    QTextCursor caret(Memo->document());
    if (!serial_ || screen.Changes == ScLineAdded) {
        caret.movePosition(QTextCursor::End);
    } else {
        // The caret goes where the machine's cursor stands.
        int pos = 0, feeds = 0;
        while (feeds < screen.Row && pos < text.size()) {
            if (text[pos] == '\n')
                ++feeds;
            ++pos;
        }
        caret.setPosition(std::min(pos + screen.Column - 1, static_cast<int>(text.size())));
    }
    Memo->setTextCursor(caret);
    Memo->ensureCursorVisible();
}

void TMainFrm::MemoKeyPress(char key)
{
    EnsureLink();
    SetTerminalMode(true);
    if (serial_)
        serial_->send_char(static_cast<uint8_t>(key));
    TerminalMenuClick();
}

bool TMainFrm::KeyBelongsToWindow(const QKeyEvent &key) const
{
    // Alt opens the menus (and any Alt combination is the window's, used or not).
    if (key.modifiers() & (Qt::AltModifier | Qt::MetaModifier))
        return true;
    const QKeySequence pressed(key.keyCombination());
    auto owns = [&pressed](const QKeySequence &shortcut) {
        return !shortcut.isEmpty() && pressed.matches(shortcut) == QKeySequence::ExactMatch;
    };
    // A command greyed out now still owns its key: it must not become a
    // control byte for the machine instead.
    for (const QAction *a : findChildren<QAction *>())
        for (const QKeySequence &k : a->shortcuts())
            if (owns(k))
                return true;
    for (const QShortcut *sc : findChildren<QShortcut *>())
        if (owns(sc->key()))
            return true;
    return false;
}

bool TMainFrm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != Memo)
        return QMainWindow::eventFilter(watched, event);
    if (event->type() == QEvent::ShortcutOverride) {
        // Left unaccepted, the window's shortcuts and menu keys take it
        // before the terminal sees it.
        if (KeyBelongsToWindow(*static_cast<QKeyEvent *>(event)))
            return true;
        return QMainWindow::eventFilter(watched, event);
    }
    if (event->type() == QEvent::KeyPress) {
        auto *ke = static_cast<QKeyEvent *>(event);
        // Keep the usual copy shortcut; everything else typed goes to the machine.
        if (ke->matches(QKeySequence::Copy) || ke->matches(QKeySequence::SelectAll))
            return false;
        // A key of the window that reaches the terminal anyway (its command
        // is greyed out, no menu has that letter) is dropped, not sent.
        if (KeyBelongsToWindow(*ke))
            return true;
        char key = 0;
        switch (ke->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            key = 13;
            break;
        case Qt::Key_Backspace:
            key = 8;
            break;
        case Qt::Key_Escape:
            key = 27;
            break;
        case Qt::Key_Tab:
            key = 9;
            break;
        default:
            // Ctrl+letter is the letter's control byte, whatever text the
            // platform attached to the event.
            if ((ke->modifiers() & Qt::ControlModifier) && ke->key() >= Qt::Key_A && ke->key() <= Qt::Key_Z) {
                key = static_cast<char>(ke->key() - Qt::Key_A + 1);
            } else {
                const QByteArray bytes = ke->text().toLatin1();
                if (bytes.size() == 1)
                    key = bytes[0];
            }
        }
        if (key != 0) {
            gate_.Run(TCommandId::TerminalKey, [this, key] { MemoKeyPress(key); });
            return true;
        }
        return false;
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace grittor
