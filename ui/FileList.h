#pragma once

#include <QListWidget>

namespace tw {

class Platform;

// The files of one directory whose names match a wildcard pattern, without regard to case,
// sorted, with extended multiple selection. Every file is there: a name that cannot be decoded
// as it stands is shown readably, with the reason as its tool tip. It starts at the process's
// current directory.
class FileList : public QListWidget {
    Q_OBJECT
public:
    explicit FileList(Platform& platform, QWidget* parent = nullptr);

    // Changing the pattern lists the directory afresh.
    void setPattern(const QString& pattern);
    QString pattern() const;

    // Lists `path` afresh with nothing selected. When it cannot be listed the list is left
    // empty (never showing another directory's files under this path) and false is returned;
    // lastError() then says why.
    bool setPath(const QString& path);
    QString path() const;
    bool refresh();
    QString lastError() const;

    int listCount() const;
    QString list(int i) const;
    bool isSelected(int i) const;
    // Why the entry cannot be decoded (its name is shown with stand-ins); empty when it can.
    QString unusable(int i) const;

private:
    Platform& m_platform;
    QString m_path;
    QString m_pattern = QStringLiteral("*");
    QString m_lastError;
};

} // namespace tw
