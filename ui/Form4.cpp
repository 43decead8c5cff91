#include "Form4.h"

#include "Application.h"
#include "DirList.h"
#include "DriveList.h"
#include "MessageBoxes.h"
#include "Twips.h"
#include "core/AppState.h"

#include <QGroupBox>
#include <QIcon>
#include <QPushButton>

namespace tw {

Form4::Form4(Platform& platform, AppState& state, MessageBoxes& boxes)
    : FixedDialog(3165, 3105), m_state(state), m_boxes(boxes) {
    setWindowTitle(QStringLiteral("Output Destination"));
    setWindowIcon(QIcon(QStringLiteral(":/dialogs/destination.png")));

    Frame1 = new QGroupBox(this);
    placeTwips(Frame1, 0, 0, 3135, 2655);
    Drive1 = new DriveList(platform, Frame1);
    placeTwips(Drive1, 120, 240, 2895, 315);
    Dir1 = new DirList(platform, Frame1);
    placeTwips(Dir1, 120, 600, 2895, 1890);

    Command2 = addButton(this, QStringLiteral("Cancel"), 2160, 2760, 975, 255);
    Command1 = addButton(this, QStringLiteral("Okay"), 1320, 2760, 855, 255);

    setKeyboardOrder({Command1, Command2, Dir1, Drive1});

    connect(Command1, &QPushButton::clicked, this, &Form4::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form4::Command2_Click);
    connect(Drive1, &DriveList::changed, this, &Form4::Drive1_Change);
}

void Form4::Drive1_Change() {
    if (!Dir1->setPath(Drive1->drive()))
        m_boxes.show(this,
                     Message{QMessageBox::NoIcon, applicationTitle(), QStringLiteral("Sorry!")});
}

void Form4::Command1_Click() {
    std::wstring path = Dir1->path().toStdWString();
    if (path.empty() || path.back() != L'\\')
        path += L'\\';
    m_state.Destination = path;
    close();
}

void Form4::Command2_Click() {
    close();
}

} // namespace tw
