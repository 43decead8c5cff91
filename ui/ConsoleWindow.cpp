#include "ConsoleWindow.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace tw {

ConsolePlacement consolePlacementOf(const QWidget& window) {
    const QScreen* shown = window.screen();
    if (!window.isVisible() || !shown || QGuiApplication::platformName().startsWith(u"wayland"))
        return {};
    // A scaled screen keeps its origin in the desktop's pixels and scales what lies on it.
    const QPoint origin = shown->geometry().topLeft();
    const qreal scale = shown->devicePixelRatio();
    const auto pixels = [&](const QRect& r) {
        return ScreenRect{origin.x() + qRound((r.x() - origin.x()) * scale),
                          origin.y() + qRound((r.y() - origin.y()) * scale),
                          qRound(r.width() * scale), qRound(r.height() * scale)};
    };
    return {pixels(window.frameGeometry()), pixels(shown->availableGeometry())};
}

void keepFocusWhileTheConsoleOpens(QWidget& window) {
    // The console maps its window a moment after it is started; the window that had the focus
    // before it is this one (or a message box of ours, which keeps it).
    constexpr int tick = 50;
    constexpr int ticks = 4000 / tick;
    auto* watch = new QTimer(&window);
    // The count lives in the connection, which goes with the timer.
    QObject::connect(watch, &QTimer::timeout, &window, [&window, watch, left = ticks]() mutable {
        const bool lost = QApplication::activeWindow() == nullptr;
        // Only the focus comes back: the console stays on top, to be seen.
        if (lost)
            window.activateWindow();
        if (lost || --left == 0) {
            watch->stop();
            watch->deleteLater();
        }
    });
    watch->start(tick);
}

} // namespace tw
