#pragma once

#include "FixedDialog.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace tw {

class DirList;
class DriveList;
class Platform;
struct AppState;

// The Setup dialog: where L3DEC.EXE lives (DecoderPath) and how its console starts (LoadMode).
// It keeps nothing of its own: created at each opening, primed from the state, destroyed on
// closing.
class Form2 : public FixedDialog {
    Q_OBJECT
public:
    Form2(Platform& platform, AppState& state);

    QGroupBox* Frame1;
    QGroupBox* Frame2;
    QGroupBox* Frame3;
    DriveList* Drive1;
    DirList* Dir1;
    QLabel* Label1;
    QRadioButton* Option1;
    QRadioButton* Option2;
    QPushButton* Command1;
    QPushButton* Command2;

    // Primes the lists from DecoderPath and the choice from LoadMode. A DecoderPath the lists
    // cannot show leaves them where they started, so the user can still name the folder.
    void prime();
    void Command1_Click();
    void Command2_Click();

protected:
    // The arrow keys move the choice within the window-mode group.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The frames and their controls, where the twips place them.
    void createDecoderFolder(Platform& platform);
    void createWindowMode();
    void nameControls();
    void keepOneStopInTheGroup();

    AppState& m_state;
};

// Opens Setup modally with no owner, primed from the state, and returns once it has closed.
// This is the whole of the main window's Setup command.
void showSetup(Platform& platform, AppState& state);

} // namespace tw
