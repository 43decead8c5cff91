#pragma once

#include <QListWidget>

namespace tw {

class Platform;

// The open directory with its parents above it and its subdirectories below, indented, with
// folder icons. A double click or Enter opens the highlighted directory; a single click only
// highlights. It starts at the process's current directory.
class DirList : public QListWidget {
    Q_OBJECT
public:
    explicit DirList(Platform& platform, QWidget* parent = nullptr);

    // A drive root with its "\" ("C:\"), any other directory without one ("C:\MUSIC").
    QString path() const;
    // Opens a directory given with or without a trailing "\", in any case; the list then shows
    // it in its real spelling. A bare drive ("D:", or a drive list text such as "D: [/media]")
    // opens that drive's root. False, and nothing changed, when it cannot be shown.
    bool setPath(const QString& path);
    // Full path of the directory in a row of the list.
    QString rowPath(int row) const;

signals:
    // The path changed, whether the user opened a directory or code set it.
    void changed();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The directory `text` names, in its real spelling; empty when it is not one.
    QString resolve(const QString& text) const;
    void openRow(int row);

    Platform& m_platform;
    QString m_path;
};

} // namespace tw
