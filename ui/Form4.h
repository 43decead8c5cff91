#pragma once

#include "FixedDialog.h"

class QGroupBox;
class QPushButton;

namespace tw {

class DirList;
class DriveList;
class Form1;

// Output Destination: chooses the folder that receives the decoded files. It keeps nothing
// of its own; the main window primes it at each opening and "Okay" writes back through it.
class Form4 : public FixedDialog {
    Q_OBJECT
public:
    explicit Form4(Form1& main);

    QGroupBox* Frame1;
    DriveList* Drive1;
    DirList* Dir1;
    QPushButton* Command1; // "Okay"
    QPushButton* Command2; // "Cancel"

    void Command1_Click();
    void Command2_Click();

private:
    Form1& m_main;
};

} // namespace tw
