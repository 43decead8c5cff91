#include "DirList.h"

#include "platform/DrivePath.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QKeyEvent>
#include <QStyle>
#include <QStyledItemDelegate>

namespace tw {

namespace {

constexpr int PathRole = Qt::UserRole;
constexpr int LevelRole = Qt::UserRole + 1;
constexpr int IndentPixels = 8;

// Shifts each row right by its depth, so the tree of parents reads at a glance.
class IndentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem shifted(option);
        shifted.rect.adjust(index.data(LevelRole).toInt() * IndentPixels, 0, 0, 0);
        QStyledItemDelegate::paint(painter, shifted, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.rwidth() += index.data(LevelRole).toInt() * IndentPixels;
        return size;
    }
};

bool isRoot(const QString& path) {
    return path.size() == 3 && path.endsWith(QLatin1Char('\\'));
}

} // namespace

DirList::DirList(Platform& platform, QWidget* parent) : QListWidget(parent), m_platform(platform) {
    setItemDelegate(new IndentDelegate(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(this, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { openRow(row(item)); });

    const QString current = QString::fromStdWString(m_platform.currentDirectory());
    if (!setPath(current))
        (void)setPath(current.left(2));
}

QString DirList::path() const {
    return m_path;
}

QString DirList::rowPath(int row) const {
    const QListWidgetItem* it = item(row);
    return it ? it->data(PathRole).toString() : QString();
}

QString DirList::resolve(const QString& text) const {
    std::wstring typed = text.toStdWString();
    // A bare drive, or the drive list's text with its label, means the drive's root.
    if (hasDriveLetter(typed) && (typed.size() == 2 || typed[2] == L' '))
        typed = typed.substr(0, 2) + L'\\';
    const DrivePath parsed = parseDrivePath(typed);
    if (!parsed.valid)
        return {};

    // The platform resolves the spelling (case, short names); map back for the real one.
    const std::string native = m_platform.nativePath(parsed.normalized());
    if (native.empty())
        return {};
    QString real = QString::fromStdWString(m_platform.drivePath(native));
    if (!hasDriveLetter(real.toStdWString()))
        return {};
    while (real.size() > 3 && real.endsWith(QLatin1Char('\\')))
        real.chop(1);
    if (real.size() == 2)
        real += QLatin1Char('\\');
    if (!m_platform.isDirectory(real.toStdWString()))
        return {};
    return real;
}

bool DirList::setPath(const QString& text) {
    const QString real = resolve(text);
    if (real.isEmpty())
        return false;
    std::vector<std::wstring> subdirs;
    if (!m_platform.listDirectories(real.toStdWString(), subdirs))
        return false;

    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

    setUpdatesEnabled(false);
    clear();
    // The root, then each parent down to the open directory, one level deeper each.
    const QStringList parts = real.mid(3).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    QString at = real.left(3);
    auto add = [this](const QIcon& icon, const QString& caption, const QString& path, int level) {
        auto* it = new QListWidgetItem(icon, caption, this);
        it->setData(PathRole, path);
        it->setData(LevelRole, level);
    };
    add(openIcon, at, at, 0);
    for (int i = 0; i < parts.size(); ++i) {
        at = (i == 0 ? at : at + QLatin1Char('\\')) + parts.at(i);
        add(openIcon, parts.at(i), at, i + 1);
    }
    const int openRowIndex = count() - 1;
    const QString prefix = isRoot(real) ? real : real + QLatin1Char('\\');
    for (const std::wstring& name : subdirs) {
        const QString n = QString::fromStdWString(name);
        add(closedIcon, n, prefix + n, int(parts.size()) + 1);
    }
    setCurrentRow(openRowIndex);
    setUpdatesEnabled(true);

    const bool moved = real != m_path;
    m_path = real;
    if (moved)
        emit changed();
    return true;
}

void DirList::openRow(int row) {
    const QString target = rowPath(row);
    if (target.isEmpty())
        return;
    // The directory may have gone since it was listed: show what is there now instead.
    if (!setPath(target)) {
        QApplication::beep();
        (void)setPath(m_path);
    }
}

void DirList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openRow(currentRow());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

} // namespace tw
