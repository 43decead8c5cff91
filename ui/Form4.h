#pragma once

#include "FixedDialog.h"

class QGroupBox;
class QPushButton;

namespace tw {

class DirList;
class DriveList;
class MessageBoxes;
class Platform;
struct AppState;

// Output Destination: chooses the folder that receives the decoded files. It keeps nothing
// of its own; the main window primes it at each opening, "Okay" sets the state's Destination,
// and the main window shows what the state then holds. Picking a drive moves the folder list
// to it, as in the main window, so that a stick can be chosen; a drive that cannot be read
// says "Sorry!" through the main window's message boxes.
class Form4 : public FixedDialog {
    Q_OBJECT
public:
    Form4(Platform& platform, AppState& state, MessageBoxes& boxes);

    QGroupBox* Frame1;
    DriveList* Drive1;
    DirList* Dir1;
    QPushButton* Command1; // "Okay"
    QPushButton* Command2; // "Cancel"

    void Command1_Click();
    void Command2_Click();
    void Drive1_Change();

private:
    AppState& m_state;
    MessageBoxes& m_boxes;
};

} // namespace tw
