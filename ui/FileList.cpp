#include "FileList.h"

#include "platform/Platform.h"

namespace tw {

FileList::FileList(Platform& platform, QWidget* parent)
    : QListWidget(parent), m_platform(platform) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setLayoutMode(QListView::SinglePass);
    (void)setPath(QString::fromStdWString(m_platform.currentDirectory()));
}

void FileList::setPattern(const QString& pattern) {
    m_pattern = pattern;
    (void)refresh();
}

QString FileList::pattern() const {
    return m_pattern;
}

bool FileList::setPath(const QString& path) {
    m_path = path;
    return refresh();
}

QString FileList::path() const {
    return m_path;
}

QString FileList::lastError() const {
    return m_lastError;
}

bool FileList::refresh() {
    std::vector<std::wstring> names;
    std::vector<std::wstring> unusable;
    const Status status = m_path.isEmpty()
                              ? Status::failure(L"No directory to list.")
                              : m_platform.listEveryFile(m_path.toStdWString(),
                                                         m_pattern.toStdWString(), names, unusable);
    QStringList entries;
    if (status) {
        entries.reserve(int(names.size()));
        for (const std::wstring& name : names)
            entries << QString::fromStdWString(name);
    }
    m_lastError = status ? QString() : QString::fromStdWString(status.message);

    // One batch, painted once: large folders must appear at once.
    setUpdatesEnabled(false);
    clear();
    addItems(entries);
    for (std::size_t i = 0; status && i < unusable.size(); ++i)
        if (!unusable[i].empty())
            item(int(i))->setToolTip(QString::fromStdWString(unusable[i]));
    setUpdatesEnabled(true);
    return status.ok;
}

int FileList::listCount() const {
    return count();
}

QString FileList::list(int i) const {
    const QListWidgetItem* it = item(i);
    return it ? it->text() : QString();
}

QString FileList::unusable(int i) const {
    const QListWidgetItem* it = item(i);
    return it ? it->toolTip() : QString();
}

bool FileList::isSelected(int i) const {
    const QListWidgetItem* it = item(i);
    return it && it->isSelected();
}

} // namespace tw
