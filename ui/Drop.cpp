#include "Drop.h"

#include "platform/Platform.h"
#include "platform/Text.h"

namespace tw {

namespace {

QString parentOf(const QString& drivePath) {
    const qsizetype slash = drivePath.lastIndexOf(QLatin1Char('\\'));
    return slash == 2 ? drivePath.left(3) : drivePath.left(slash);
}

} // namespace

DropPlan planDrop(const Platform& platform, const QList<QUrl>& urls) {
    DropPlan plan;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const QString path =
            QString::fromStdWString(platform.drivePath(url.toLocalFile().toUtf8().toStdString()));
        if (path.isEmpty() || !platform.exists(path.toStdWString()))
            continue;
        const bool folder = platform.isDirectory(path.toStdWString());
        const QString name = path.section(QLatin1Char('\\'), -1);
        if (!folder && !text::wildcardMatch(L"*.mp3", name.toStdWString()))
            continue;
        const QString home = folder ? path : parentOf(path);
        if (plan.folder.isEmpty())
            plan.folder = home;
        if (home == plan.folder) {
            if (!folder && !plan.files.contains(name))
                plan.files << name;
        } else if (!plan.otherFolders.contains(home)) {
            plan.otherFolders << home;
        }
    }
    return plan;
}

} // namespace tw
