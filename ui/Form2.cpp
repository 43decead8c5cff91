#include "Form2.h"

#include "DirList.h"
#include "DriveList.h"
#include "Twips.h"
#include "core/AppState.h"

#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace tw {

Form2::Form2(Platform& platform, AppState& state) : FixedDialog(4695, 3780), m_state(state) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Setup"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/setup-16.png")));

    createDecoderFolder(platform);
    createWindowMode();
    Frame1 = new QGroupBox(this);
    placeTwips(Frame1, 0, 3120, 4695, 615);
    Command1 = addButton(Frame1, QStringLiteral("Okay"), 2880, 240, 735, 255);
    Command2 = addButton(Frame1, QStringLiteral("Cancel"), 3600, 240, 975, 255);
    nameControls();

    setKeyboardOrder({Command1, Command2, Drive1, Dir1, Option1, Option2});
    // The window-mode group is one stop of the keyboard order, at the chosen option, so that
    // Tab then Space cannot change the choice; the arrow keys move within the group.
    for (QRadioButton* option : {Option1, Option2}) {
        connect(option, &QRadioButton::toggled, this, &Form2::keepOneStopInTheGroup);
        option->installEventFilter(this);
    }
    keepOneStopInTheGroup();

    connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form2::Command2_Click);
}

void Form2::createDecoderFolder(Platform& platform) {
    Frame2 = new QGroupBox(QStringLiteral("L3Dec Path"), this);
    placeTwips(Frame2, 0, 0, 4695, 2535);
    Drive1 = new DriveList(platform, Frame2);
    placeTwips(Drive1, 120, 240, 2775, 315);
    Dir1 = new DirList(platform, Frame2);
    placeTwips(Dir1, 120, 600, 2775, 1890);

    Label1 = new QLabel(QStringLiteral("Select the directory location of the executable, "
                                       "L3DEC.EXE.  If your decoder program is named something "
                                       "else, you should rename it appropriately so this "
                                       "program will find it."),
                        Frame2);
    placeTwips(Label1, 3000, 240, 1575, 2175);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label1->setAutoFillBackground(true);
    QPalette labelColours = Label1->palette();
    labelColours.setColor(QPalette::Window, labelColours.color(QPalette::Base));
    labelColours.setColor(QPalette::WindowText, labelColours.color(QPalette::Text));
    Label1->setPalette(labelColours);
}

void Form2::createWindowMode() {
    Frame3 = new QGroupBox(QStringLiteral("Run L3DEC..."), this);
    placeTwips(Frame3, 0, 2520, 4695, 615);
    // Both option buttons share Frame3, so they form one group.
    Option1 = new QRadioButton(QStringLiteral("Minimized to Start Bar"), Frame3);
    placeTwips(Option1, 120, 240, 2295, 255);
    Option2 = new QRadioButton(QStringLiteral("Normal Window"), Frame3);
    placeTwips(Option2, 2400, 240, 2175, 255);
    Option1->setChecked(true);
}

void Form2::nameControls() {
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Frame3->setObjectName(QStringLiteral("Frame3"));
    Drive1->setObjectName(QStringLiteral("Drive1"));
    Dir1->setObjectName(QStringLiteral("Dir1"));
    Label1->setObjectName(QStringLiteral("Label1"));
    Option1->setObjectName(QStringLiteral("Option1"));
    Option2->setObjectName(QStringLiteral("Option2"));
    Command1->setObjectName(QStringLiteral("Command1"));
    Command2->setObjectName(QStringLiteral("Command2"));
}

void Form2::keepOneStopInTheGroup() {
    for (QRadioButton* option : {Option1, Option2})
        option->setFocusPolicy(option->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
}

bool Form2::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && (watched == Option1 || watched == Option2)) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down: {
            QRadioButton* next = watched == Option1 ? Option2 : Option1;
            next->setChecked(true);
            next->setFocus(Qt::TabFocusReason);
            return true;
        }
        default:
            break;
        }
    }
    return FixedDialog::eventFilter(watched, event);
}

void Form2::prime() {
    const QString decoderPath = QString::fromStdWString(m_state.DecoderPath);
    // The drive list follows only when the directory list could move: both lists then show
    // one place, either DecoderPath or where new lists start.
    if (Dir1->setPath(decoderPath))
        (void)Drive1->setDrive(decoderPath.left(2));
    if (m_state.LoadMode != 0)
        Option1->setChecked(true);
    else
        Option2->setChecked(true);
}

void Form2::Command1_Click() {
    m_state.LoadMode = 0;
    if (Option1->isChecked())
        m_state.LoadMode = 1;
    m_state.DecoderPath = Dir1->path().toStdWString();
    accept();
}

void Form2::Command2_Click() {
    reject();
}

void showSetup(Platform& platform, AppState& state) {
    Form2 dialog(platform, state);
    dialog.prime();
    dialog.showModal(nullptr);
}

} // namespace tw
