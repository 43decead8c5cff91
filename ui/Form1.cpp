#include "Form1.h"

#include "Application.h"
#include "DirList.h"
#include "DriveList.h"
#include "Drop.h"
#include "FileList.h"
#include "Form2.h"
#include "Form3.h"
#include "Form4.h"
#include "Twips.h"
#include "core/Decode.h"
#include "platform/Platform.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QUrl>

namespace tw {

namespace {

template <typename T> T* named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

Form1::Form1(Platform& platform, QWidget* parent) : QMainWindow(parent), m_platform(platform) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Vandrel Tonwright 1.10"));
    setAcceptDrops(true);
    setWindowIcon(applicationIcon());
    // Fixed single border: minimize and close, no maximize.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    createMenus();
    createControls();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    File1->setFocus();
}

Form1::~Form1() = default;

void Form1::createControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(twips(6255), twips(4410));
    setCentralWidget(client);

    Frame1 = named(new QGroupBox(QStringLiteral("File selector"), client), "Frame1");
    placeTwips(Frame1, 0, 0, 6255, 2775);
    Drive1 = named(new DriveList(m_platform, Frame1), "Drive1");
    placeTwips(Drive1, 120, 240, 2655, 315);
    Dir1 = named(new DirList(m_platform, Frame1), "Dir1");
    placeTwips(Dir1, 120, 600, 2655, 2115);
    File1 = named(new FileList(m_platform, Frame1), "File1");
    placeTwips(File1, 2760, 240, 3375, 2430);
    File1->setPattern(QStringLiteral("*.mp3"));
    if (File1->path() != Dir1->path())
        (void)File1->setPath(Dir1->path());

    Frame3 = named(new QGroupBox(QStringLiteral("Options"), client), "Frame3");
    placeTwips(Frame3, 0, 2760, 3615, 975);
    Check2 = named(new QCheckBox(QStringLiteral("Ignore all error messages"), Frame3), "Check2");
    placeTwips(Check2, 120, 600, 2295, 255);
    Check1 =
        named(new QCheckBox(QStringLiteral("Search again after loss of synchronization"), Frame3),
              "Check1");
    placeTwips(Check1, 120, 240, 3375, 255);

    Frame2 = named(new QGroupBox(QStringLiteral("Output format"), client), "Frame2");
    placeTwips(Frame2, 3720, 2760, 2535, 975);
    Option4 = named(new QRadioButton(QStringLiteral("AIFC"), Frame2), "Option4");
    placeTwips(Option4, 1560, 600, 855, 255);
    Option3 = named(new QRadioButton(QStringLiteral("AIFF"), Frame2), "Option3");
    placeTwips(Option3, 1560, 240, 855, 255);
    Option2 = named(new QRadioButton(QStringLiteral("SND"), Frame2), "Option2");
    placeTwips(Option2, 120, 600, 855, 255);
    Option1 = named(new QRadioButton(QStringLiteral("WAV (default)"), Frame2), "Option1");
    placeTwips(Option1, 120, 240, 1455, 255);
    Option1->setChecked(true);

    Frame4 = named(new QGroupBox(client), "Frame4");
    placeTwips(Frame4, 0, 3720, 4935, 615);
    Command2 = named(new QPushButton(QStringLiteral("Destination"), Frame4), "Command2");
    placeTwips(Command2, 120, 240, 1215, 255);
    // Enter on this button presses it, as on any focused button.
    Command2->setAutoDefault(true);
    Label1 = named(new QLabel(Frame4), "Label1");
    placeTwips(Label1, 1440, 240, 3375, 255);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    Frame5 = named(new QGroupBox(client), "Frame5");
    placeTwips(Frame5, 5040, 3720, 1215, 615);
    Command1 = named(new QPushButton(QStringLiteral("Decode"), Frame5), "Command1");
    placeTwips(Command1, 120, 240, 975, 255);
    QFont bold = Command1->font();
    bold.setWeight(QFont::Bold);
    Command1->setFont(bold);
    Command1->setDefault(true);

    const QList<QWidget*> order{File1,   Dir1,   Drive1, Option1,  Option2, Option3,
                                Option4, Check1, Check2, Command2, Command1};
    for (int i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));

    connect(Drive1, &DriveList::changed, this, &Form1::Drive1_Change);
    connect(Dir1, &DirList::changed, this, &Form1::Dir1_Change);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
}

void Form1::createMenus() {
    QMenuBar* bar = menuBar();
    FileMenu = named(bar->addMenu(QStringLiteral("&File")), "FileMenu");
    DecodeNow = named(FileMenu->addAction(QStringLiteral("&Decode")), "DecodeNow");
    Dash1 = named(FileMenu->addSeparator(), "Dash1");
    Exit = named(FileMenu->addAction(QStringLiteral("E&xit")), "Exit");
    OptionsMenu = named(bar->addMenu(QStringLiteral("&Options")), "OptionsMenu");
    Setup = named(OptionsMenu->addAction(QStringLiteral("&Setup")), "Setup");
    Dash2 = named(OptionsMenu->addSeparator(), "Dash2");
    DestinationSelect =
        named(OptionsMenu->addAction(QStringLiteral("&Destination")), "DestinationSelect");
    HelpMenu = named(bar->addMenu(QStringLiteral("&Help")), "HelpMenu");
    About = named(HelpMenu->addAction(QStringLiteral("&About")), "About");

    connect(DecodeNow, &QAction::triggered, this, &Form1::DecodeNow_Click);
    connect(Exit, &QAction::triggered, this, &Form1::Exit_Click);
    connect(Setup, &QAction::triggered, this, &Form1::Setup_Click);
    connect(DestinationSelect, &QAction::triggered, this, &Form1::DestinationSelect_Click);
    connect(About, &QAction::triggered, this, &Form1::About_Click);
}

Platform& Form1::platform() {
    return m_platform;
}
AppState& Form1::state() {
    return m_state;
}

std::wstring Form1::driveText() const {
    return Drive1->drive().toStdWString();
}
std::wstring Form1::dirPath() const {
    return Dir1->path().toStdWString();
}
bool Form1::setDirPath(const std::wstring& path) {
    return Dir1->setPath(QString::fromStdWString(path));
}
void Form1::setLabel1(const std::wstring& caption) {
    setLabel1(QString::fromStdWString(caption));
}
void Form1::setLabel1(const QString& caption) {
    Label1->setText(caption);
}
QString Form1::label1() const {
    return Label1->text();
}

void Form1::showFailure(const QString& message) {
    tell(QMessageBox::Critical, applicationTitle(), message);
}

void Form1::tell(QMessageBox::Icon icon, const QString& title, const QString& text) {
    m_boxes->show(this, Message{icon, title, text});
}

void Form1::setMessageBoxes(MessageBoxes* boxes) {
    m_boxes = boxes ? boxes : &m_realBoxes;
}

void Form1::Form_Load() {
    loadSettings(m_platform, *this);
}

void Form1::Form_Unload() {
    // The window closes all the same; the user at least learns that the settings are lost.
    const Status saved = saveSettings(m_platform, *this);
    if (!saved)
        showFailure(QString::fromStdWString(saved.message));
}

void Form1::Drive1_Change() {
    // A drive without a medium, or one that cannot be read: say so and leave the lists alone.
    if (!Dir1->setPath(Drive1->drive())) {
        tell(QMessageBox::NoIcon, applicationTitle(), QStringLiteral("Sorry!"));
    }
}

void Form1::Dir1_Change() {
    if (!File1->setPath(Dir1->path()))
        showFailure(QStringLiteral("Cannot list the files of %1: %2")
                        .arg(Dir1->path(), File1->lastError()));
}

void Form1::Command1_Click() {
    DecodeNow_Click();
}

void Form1::Command2_Click() {
    DestinationSelect_Click();
}

DecodeInput Form1::decodeInput() const {
    DecodeInput input;
    const int count = File1->listCount();
    input.entries.reserve(count);
    input.selected.reserve(count);
    input.unusable.reserve(count);
    for (int i = 0; i < count; ++i) {
        input.entries.push_back(File1->list(i).toStdWString());
        input.selected.push_back(File1->isSelected(i));
        input.unusable.push_back(File1->unusable(i).toStdWString());
    }
    input.sourceFolder = Dir1->path().toStdWString();
    input.formats = {Option1->isChecked(), Option2->isChecked(), Option3->isChecked(),
                     Option4->isChecked()};
    input.searchAgain = Check1->isChecked();
    input.ignoreErrors = Check2->isChecked();
    input.console = consolePlacement();
    return input;
}

ConsolePlacement Form1::consolePlacement() const {
    const QScreen* shown = screen();
    if (!isVisible() || !shown || QGuiApplication::platformName().startsWith(u"wayland"))
        return {};
    // A scaled screen keeps its origin in the desktop's pixels and scales what lies on it.
    const QPoint origin = shown->geometry().topLeft();
    const qreal scale = shown->devicePixelRatio();
    const auto pixels = [&](const QRect& r) {
        return ScreenRect{origin.x() + qRound((r.x() - origin.x()) * scale),
                          origin.y() + qRound((r.y() - origin.y()) * scale),
                          qRound(r.width() * scale), qRound(r.height() * scale)};
    };
    return {pixels(frameGeometry()), pixels(shown->availableGeometry())};
}

void Form1::DecodeNow_Click() {
    const DecodeInput input = decodeInput();
    // Checking a batch of many thousand files takes a moment: show that the window is busy.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto ask = [this](const std::wstring& question) {
        QApplication::restoreOverrideCursor();
        const int answer =
            m_boxes->ask(this, Question{applicationTitle(),
                                        QString::fromStdWString(question),
                                        {QStringLiteral("Replace"), QStringLiteral("Skip"),
                                         QStringLiteral("Cancel")}});
        QApplication::setOverrideCursor(Qt::WaitCursor);
        return answer == 0   ? ReplaceAnswer::Replace
               : answer == 1 ? ReplaceAnswer::Skip
                             : ReplaceAnswer::Cancel;
    };
    const DecodeResult result = decodeNow(m_platform, input, m_state, ask);
    QApplication::restoreOverrideCursor();
    switch (result.kind) {
    case DecodeResult::Kind::Started:
        if (m_state.LoadMode != 1)
            keepFocusWhileTheConsoleOpens();
        if (!result.message.empty()) {
            tell(QMessageBox::Warning, applicationTitle(), QString::fromStdWString(result.message));
        }
        break;
    case DecodeResult::Kind::NothingSelected: {
        tell(QMessageBox::Warning, QStringLiteral("Yikes!"),
             QStringLiteral("Um... pick a file, Einstein!"));
        break;
    }
    case DecodeResult::Kind::Refused:
    case DecodeResult::Kind::Failed:
        showFailure(QString::fromStdWString(result.message));
        break;
    case DecodeResult::Kind::Cancelled:
        break;
    }
}

void Form1::keepFocusWhileTheConsoleOpens() {
    // The console maps its window a moment after it is started; the window that had the focus
    // before it is this one (or a message box of ours, which keeps it).
    constexpr int tick = 50;
    constexpr int ticks = 4000 / tick;
    auto* watch = new QTimer(this);
    // The count lives in the connection, which goes with the timer.
    connect(watch, &QTimer::timeout, this, [this, watch, left = ticks]() mutable {
        const bool lost = QApplication::activeWindow() == nullptr;
        // Only the focus comes back: the console stays on top, to be seen.
        if (lost)
            activateWindow();
        if (lost || --left == 0) {
            watch->stop();
            watch->deleteLater();
        }
    });
    watch->start(tick);
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
    // The cursor shows whether the drop would be taken.
    if (!planDrop(m_platform, event->mimeData()->urls()).folder.isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void Form1::dragMoveEvent(QDragMoveEvent* event) {
    if (!planDrop(m_platform, event->mimeData()->urls()).folder.isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void Form1::dropEvent(QDropEvent* event) {
    const DropPlan plan = planDrop(m_platform, event->mimeData()->urls());
    if (plan.folder.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    openPlan(plan);
}

void Form1::openFromCommandLine(const QStringList& paths) {
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    const DropPlan plan = planDrop(m_platform, urls);
    if (plan.folder.isEmpty()) {
        tell(QMessageBox::Information, applicationTitle(),
             QStringLiteral("Nothing to open: %1 %2 no folder and no .mp3 file on a drive.")
                 .arg(paths.join(QStringLiteral(", ")),
                      paths.size() == 1 ? QStringLiteral("is") : QStringLiteral("are")));
        return;
    }
    openPlan(plan);
}

void Form1::openPlan(const DropPlan& plan) {
    if (!Dir1->setPath(plan.folder))
        return;
    (void)Drive1->setDrive(plan.folder.left(2));
    for (int i = 0; i < File1->count(); ++i)
        File1->item(i)->setSelected(plan.files.contains(File1->item(i)->text()));
    if (!plan.otherFolders.isEmpty()) {
        tell(QMessageBox::Information, applicationTitle(),
             QStringLiteral("Only the files from %1 were taken: files are decoded from one "
                            "folder at a time. Not taken: the files from %2.")
                 .arg(plan.folder, plan.otherFolders.join(QStringLiteral(", "))));
    }
}

void Form1::Exit_Click() {
    close();
}

void Form1::Setup_Click() {
    showSetup(m_platform, m_state);
}

void Form1::DestinationSelect_Click() {
    Form4 dialog(m_platform, m_state, *m_boxes);
    // A destination the lists cannot show (gone, no medium, edited by hand) leaves that list
    // where a new one starts; the dialog opens anyway.
    const QString destination = QString::fromStdWString(m_state.Destination);
    static_cast<void>(dialog.Drive1->setDrive(destination.left(2)));
    static_cast<void>(dialog.Dir1->setPath(destination));
    dialog.showModal(this);
    setLabel1(QString::fromStdWString(m_state.Destination));
}

void Form1::About_Click() {
    Form3 box(m_platform);
    box.showModal(this);
}

void Form1::closeEvent(QCloseEvent* event) {
    // Exit and the close box take this one path; the unload runs once and never cancels.
    if (!m_unloaded) {
        m_unloaded = true;
        Form_Unload();
    }
    event->accept();
}

void Form1::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        Command1->click();
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

} // namespace tw
