#pragma once

#include <QComboBox>

namespace tw {

class Platform;

// Drop-down of the machine's drives. Each entry begins with the drive letter and a colon
// ("C: [/]"). It starts at the process's current drive.
class DriveList : public QComboBox {
    Q_OBJECT
public:
    explicit DriveList(Platform& platform, QWidget* parent = nullptr);

    // Text of the current drive; empty only when the machine reports no drive at all.
    QString drive() const;
    // Makes the drive named by the first two characters ("D:") current, without raising
    // changed(). False, and nothing changed, when there is no such drive.
    bool setDrive(const QString& text);

signals:
    // The user picked another drive (mouse or keyboard); never raised by setDrive().
    void changed();

private:
    void onActivated(int index);

    Platform& m_platform;
    int m_shownIndex = -1; // the entry the last change event (or setDrive) was about
};

} // namespace tw
