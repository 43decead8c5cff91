#include "DriveList.h"

#include "platform/DrivePath.h"
#include "platform/Platform.h"

#include <QSignalBlocker>
#include <algorithm>

namespace tw {

DriveList::DriveList(Platform& platform, QWidget* parent)
    : QComboBox(parent), m_platform(platform) {
    setEditable(false);
    addItems(driveTexts());
    if (!setDrive(QString::fromStdWString(m_platform.currentDirectory())) && count() > 0) {
        setCurrentIndex(0);
        m_shownIndex = 0;
    }
    connect(this, &QComboBox::activated, this, &DriveList::onActivated);
}

QStringList DriveList::driveTexts() const {
    QStringList texts;
    for (const Drive& d : m_platform.drives()) {
        QString text = QString::fromStdWString(d.letter);
        if (!d.label.empty())
            text += QLatin1Char(' ') + QString::fromStdWString(d.label);
        texts << text;
    }
    return texts;
}

void DriveList::refreshDrives() {
    QStringList texts = driveTexts();
    const QString current = currentText();
    const QString letter = current.left(2);
    // The drive on show stays listed even when it has just gone, so nothing moves under the
    // user's eyes without a change event.
    const auto sameLetter = [&letter](const QString& t) {
        return t.left(2).compare(letter, Qt::CaseInsensitive) == 0;
    };
    if (!current.isEmpty() && std::none_of(texts.cbegin(), texts.cend(), sameLetter)) {
        texts << current;
        std::sort(texts.begin(), texts.end(), [](const QString& a, const QString& b) {
            return a.left(2).compare(b.left(2), Qt::CaseInsensitive) < 0;
        });
    }
    QStringList shown;
    for (int i = 0; i < count(); ++i)
        shown << itemText(i);
    if (texts == shown)
        return;
    const QSignalBlocker blocker(this);
    clear();
    addItems(texts);
    const auto at = std::find_if(texts.cbegin(), texts.cend(), sameLetter);
    m_shownIndex = at == texts.cend() ? (texts.isEmpty() ? -1 : 0) : int(at - texts.cbegin());
    setCurrentIndex(m_shownIndex);
}

void DriveList::showPopup() {
    refreshDrives();
    QComboBox::showPopup();
}

QString DriveList::drive() const {
    return currentText();
}

bool DriveList::setDrive(const QString& text) {
    if (!hasDriveLetter(text.toStdWString()))
        return false;
    const QString letter = text.left(2);
    for (int i = 0; i < count(); ++i) {
        if (itemText(i).left(2).compare(letter, Qt::CaseInsensitive) == 0) {
            setCurrentIndex(i);
            m_shownIndex = i;
            return true;
        }
    }
    return false;
}

void DriveList::onActivated(int index) {
    // Picking the drive already shown is no change.
    if (index == m_shownIndex)
        return;
    m_shownIndex = index;
    emit changed();
}

} // namespace tw
