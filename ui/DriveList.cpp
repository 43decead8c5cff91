#include "DriveList.h"

#include "platform/Platform.h"

namespace tw {

DriveList::DriveList(Platform& platform, QWidget* parent)
    : QComboBox(parent), m_platform(platform) {
    setEditable(false);
    for (const Drive& d : m_platform.drives()) {
        QString text = QString::fromStdWString(d.letter);
        if (!d.label.empty())
            text += QLatin1Char(' ') + QString::fromStdWString(d.label);
        addItem(text);
    }
    if (!setDrive(QString::fromStdWString(m_platform.currentDirectory())) && count() > 0) {
        setCurrentIndex(0);
        m_shownIndex = 0;
    }
    connect(this, &QComboBox::activated, this, &DriveList::onActivated);
}

QString DriveList::drive() const { return currentText(); }

bool DriveList::setDrive(const QString& text) {
    if (text.size() < 2 || text.at(1) != QLatin1Char(':'))
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
