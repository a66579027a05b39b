// Qt implementations of the core's interface seams.
#pragma once

#include "foundation/Dialogs.h"
#include "foundation/UiHooks.h"

#include <QString>
#include <string>

class QWidget;

namespace grittor {

// Bytes of the program are Latin-1 text; convert only at the window boundary.
inline QString ToQ(const std::string &s) { return QString::fromLatin1(s.data(), static_cast<int>(s.size())); }
inline std::string FromQ(const QString &s) { return s.toLatin1().toStdString(); }
// Material names are UTF-8 everywhere: the library file, the screen and the
// command line.
inline QString NameToQ(const std::string &s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
inline std::string NameFromQ(const QString &s) { return s.toUtf8().toStdString(); }

class QtUiHooks final : public UiHooks {
public:
    void ProcessMessages() override;
    bool IsUiThread() override;
};

class QtDialogs final : public Dialogs {
public:
    void Message(const std::string &text) override;
    bool Confirm(const std::string &text) override;
    std::optional<std::string> OpenFile(const std::string &caption, const std::string &initial,
                                        const std::string &filter) override;
    std::optional<std::string> SaveFile(const std::string &caption, const std::string &initial,
                                        const std::string &filter) override;
};

// Installs the Qt hooks and dialogs (the application calls this once its
// QApplication exists).
void InstallQtSeams();

} // namespace grittor
