#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace tw {

class Platform;

// What a drop of files and folders on the main window opens and selects, as if the user had
// browsed there: the folder of the first thing dropped that counts (a folder, or an .mp3 file)
// and, for files, every dropped .mp3 file in that folder.
struct DropPlan {
    QString folder;           // drive path to open; empty when the drop changes nothing
    QStringList files;        // names to select in it
    QStringList otherFolders; // folders whose dropped files or that were not taken
};

// Things that are not on a drive, not there, or neither a folder nor an .mp3 file count for
// nothing.
DropPlan planDrop(const Platform& platform, const QList<QUrl>& urls);

} // namespace tw
