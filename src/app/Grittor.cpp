// Program entry: exception hooks first, then the application object and the
// windows.
#include "foundation/ExceptionReportForm.h"
#include "foundation/ExceptionReporting.h"
#include "foundation/GuiApplication.h"
#include "foundation/LogOutput.h"
#include "foundation/QtSeams.h"
#include "foundation/option.h"

#include <QMainWindow>
#include <QTimer>

#include <cstring>

int main(int argc, char **argv)
{
    grittor::InstallProcessHooks();
    grittor::LogOutput(); // the log's path comes from the executable, before any window
    grittor::GuiApplication app(argc, argv);
    QApplication::setApplicationName("Grittor");
    QApplication::setApplicationDisplayName("Grittor");
    grittor::InstallQtSeams();

    QMainWindow mainWindow;
    mainWindow.setWindowTitle("Grittor");
    mainWindow.resize(767, 496);
    grittor::TExceptionReportForm reportForm(&mainWindow);
    mainWindow.show();

    // --quit-after MS: used by the smoke test to start and stop cleanly.
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--quit-after") == 0)
            QTimer::singleShot(std::atoi(argv[i + 1]), &app, &QApplication::quit);

    const int rc = app.exec();
    grittor::RestoreProcessHooks();
    return rc;
}
