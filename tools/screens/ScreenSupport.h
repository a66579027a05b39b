// What the screenshot tools share: saving a window's picture, and the
// program's windows started against a grittor-sim at full speed.
#pragma once

#include "foundation/Dialogs.h"
#include "foundation/option.h"
#include "link/SerialDevice.h"
#include "link/SimulatorProcess.h"
#include "operation/Forms.h"
#include "operation/MainForm.h"
#include "pens/LibraryStore.h"

#include <QApplication>
#include <QWidget>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

namespace grittor::screens {

// Messages and questions printed (questions answered Yes), choosers
// cancelled: the tools run without anyone at the keyboard.
class PrintingDialogs final : public Dialogs {
public:
    void Message(const std::string &text) override
    {
        std::printf("message: %s\n", text.c_str());
        if (onMessage)
            onMessage(text);
    }
    bool Confirm(const std::string &text) override
    {
        std::printf("question: %s\n", text.c_str());
        return true;
    }
    std::optional<std::string> OpenFile(const std::string &, const std::string &, const std::string &) override
    {
        return std::nullopt;
    }
    std::optional<std::string> SaveFile(const std::string &, const std::string &, const std::string &) override
    {
        return std::nullopt;
    }
    std::function<void(const std::string &)> onMessage; // optional side effect
};

inline void Save(QWidget *w, const QString &path)
{
    QApplication::processEvents();
    if (!w->grab().save(path))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

// Starts `sim` unpaced, binds com1 to it, creates the windows on `store`
// and shows the main window with its port open; nullptr when the simulator
// did not start.
inline TMainFrm *StartOnSimulator(TSimulatorProcess &sim, TLibraryStore &store)
{
    std::string error;
    if (!sim.Start({"--baud", "0"}, error)) {
        std::fprintf(stderr, "grittor-sim: %s\n", error.c_str());
        return nullptr;
    }
    SetPortOverride("com1", sim.DevicePath());
    Options().Port = "com1";
    CreateForms(store);
    TMainFrm *main = Forms().MainFrm;
    main->resize(900, 600);
    main->show();
    main->OpenMenuClick();
    return main;
}

} // namespace grittor::screens
