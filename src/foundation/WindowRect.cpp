#include "foundation/WindowRect.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace grittor {

TRectXYWH GetWindowRect(const QWidget &window)
{
    const QRect g = window.geometry();
    return {g.x(), g.y(), g.width(), g.height()};
}

TRectXYWH ApplyWindowRect(QWidget &window, TRectXYWH r)
{
    QScreen *screen = window.screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QSize size = screen->availableGeometry().size();
        r = FitRectToScreen(r, size.width(), size.height());
    }
    window.setGeometry(r.left, r.top, r.width, r.height);
    return r;
}

} // namespace grittor
