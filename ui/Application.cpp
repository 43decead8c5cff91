#include "Application.h"

#include <QApplication>
#include <QFontDatabase>

// Resources of a static library must be registered by hand, and from the global namespace.
static void initUiResources() { Q_INIT_RESOURCE(ui); }

namespace tw {

QString applicationTitle() { return QStringLiteral("Tonwright"); }

QIcon applicationIcon() {
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/tonwright-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/tonwright-32.png"), QSize(32, 32));
    return icon;
}

QFont dialogFont() {
    // fontconfig substitutes silently for missing families, so look at what is installed.
    const QStringList installed = QFontDatabase::families();
    for (const char* family :
         {"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans", "DejaVu Sans"}) {
        if (installed.contains(QLatin1String(family), Qt::CaseInsensitive))
            return QFont(QLatin1String(family), 8);
    }
    QFont fallback = QApplication::font();
    fallback.setPointSize(8);
    return fallback;
}

void setUpApplication() {
    initUiResources();
    QApplication::setApplicationName(applicationTitle());
    QApplication::setFont(dialogFont());
    // Frames as etched boxes whose top line runs through the middle of the caption, the
    // caption set in a little from the left; a frame without a caption keeps the same line.
    qApp->setStyleSheet(QStringLiteral(
        "QGroupBox { border: 2px groove palette(mid); margin-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
        " left: 6px; top: -1px; padding: 0px 2px; }"));
}

} // namespace tw
