#include "Form1.h"

#include "Application.h"
#include "ConsoleWindow.h"
#include "DirList.h"
#include "DriveList.h"
#include "Drop.h"
#include "FileList.h"
#include "Form1Controls.h"
#include "Form2.h"
#include "Form3.h"
#include "Form4.h"
#include "core/Decode.h"
#include "platform/Platform.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>

#include <utility>

namespace tw {

Form1::Form1(Platform& platform, QWidget* parent) : QMainWindow(parent), m_platform(platform) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Vandrel Tonwright 1.10"));
    setAcceptDrops(true);
    setWindowIcon(applicationIcon());
    // Fixed single border: minimize and close, no maximize.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    createMenus(*this);
    createControls(*this, m_platform);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    File1->setFocus();
}

Form1::~Form1() = default;

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
    const std::pair<const QRadioButton*, OutputFormat> formats[] = {{Option1, OutputFormat::Wav},
                                                                    {Option2, OutputFormat::Snd},
                                                                    {Option3, OutputFormat::Aiff},
                                                                    {Option4, OutputFormat::Aifc}};
    for (const auto& [option, format] : formats)
        if (option->isChecked())
            input.format = format;
    input.searchAgain = Check1->isChecked();
    input.ignoreErrors = Check2->isChecked();
    input.console = consolePlacementOf(*this);
    return input;
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
            keepFocusWhileTheConsoleOpens(*this);
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
