#include "foundation/QtSeams.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QThread>

namespace grittor {

void QtUiHooks::ProcessMessages()
{
    if (IsUiThread())
        QCoreApplication::processEvents();
}

bool QtUiHooks::IsUiThread()
{
    QCoreApplication *app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

static QWidget *DialogParent() { return QApplication::activeWindow(); }

void QtDialogs::Message(const std::string &text)
{
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), ToQ(text), QMessageBox::Ok,
                    DialogParent());
    box.exec();
}

bool QtDialogs::Confirm(const std::string &text)
{
    QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(), ToQ(text),
                    QMessageBox::Yes | QMessageBox::No, DialogParent());
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

static QString StartPath(const std::string &initial)
{
    // "folder/*.*" starts in the folder with no file chosen.
    QString p = ToQ(initial);
    if (p.endsWith("*.*"))
        p.chop(3);
    return p;
}

std::optional<std::string> QtDialogs::OpenFile(const std::string &caption, const std::string &initial,
                                               const std::string &filter)
{
    const QString f = QFileDialog::getOpenFileName(DialogParent(), ToQ(caption), StartPath(initial), ToQ(filter));
    if (f.isEmpty())
        return std::nullopt;
    return FromQ(f);
}

std::optional<std::string> QtDialogs::SaveFile(const std::string &caption, const std::string &initial,
                                               const std::string &filter)
{
    const QString f = QFileDialog::getSaveFileName(DialogParent(), ToQ(caption), StartPath(initial), ToQ(filter),
                                                   nullptr, QFileDialog::DontConfirmOverwrite);
    if (f.isEmpty())
        return std::nullopt;
    return FromQ(f);
}

void InstallQtSeams()
{
    static QtUiHooks hooks;
    static QtDialogs dialogs;
    SetUiHooks(&hooks);
    SetDialogs(&dialogs);
}

} // namespace grittor
