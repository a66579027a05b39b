#include "foundation/GuiApplication.h"

#include "foundation/ExceptionReporting.h"

namespace grittor {

namespace {
GuiApplication::ExceptionHandler g_handler;
}

GuiApplication::GuiApplication(int &argc, char **argv) : QApplication(argc, argv) {}

void GuiApplication::SetExceptionHandler(ExceptionHandler handler) { g_handler = std::move(handler); }

void GuiApplication::DefaultExceptionHandler(const std::exception *, const char *message)
{
    Report("TExceptionReporting.AppException", message, nullptr, 0);
}

bool GuiApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        (g_handler ? g_handler : DefaultExceptionHandler)(&e, e.what());
    } catch (...) {
        (g_handler ? g_handler : DefaultExceptionHandler)(nullptr, "unknown exception");
    }
    return false;
}

} // namespace grittor
