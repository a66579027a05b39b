// The application object: reports every exception that escapes an event
// handler and keeps running.
#pragma once

#include <QApplication>
#include <exception>
#include <functional>

namespace grittor {

class GuiApplication : public QApplication {
public:
    GuiApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;

    // The application's exception event.  By default it reports through
    // "TExceptionReporting.AppException"; the main window installs its own
    // while it exists.
    using ExceptionHandler = std::function<void(const std::exception *e, const char *message)>;
    static void SetExceptionHandler(ExceptionHandler handler);
    static void DefaultExceptionHandler(const std::exception *e, const char *message);
};

} // namespace grittor
