#pragma once

#include "Drop.h"
#include "MessageBoxes.h"
#include "core/AppState.h"
#include "core/DecodeInput.h"
#include "settings/SettingsHost.h"

#include <QMainWindow>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;

namespace tw {

class DirList;
class DriveList;
class FileList;
class Platform;

// The main window: file selector, output format, decoder switches, output folder and Decode.
// It owns the application state for the whole run; dialogs reach the state through it.
class Form1 : public QMainWindow, public SettingsHost {
    Q_OBJECT
public:
    explicit Form1(Platform& platform, QWidget* parent = nullptr);
    ~Form1() override;

    Platform& platform();
    AppState& state() override;

    // What the settings load and save need of the window.
    std::wstring driveText() const override;
    std::wstring dirPath() const override;
    bool setDirPath(const std::wstring& path) override;
    void setLabel1(const std::wstring& caption) override;
    void setLabel1(const QString& caption);
    QString label1() const;
    // Where the window's messages go: the real boxes, or a stand-in (nullptr: the real ones
    // again). The stand-in must outlive its use.
    void setMessageBoxes(MessageBoxes* boxes);
    // What Decode is asked to do, as the lists, the format and the two switches stand now, and
    // where the window stands, so that a console in a normal window opens beside it.
    DecodeInput decodeInput() const;
    // Files and folders named when the program starts (absolute native paths) are opened as a
    // drop of them would be; when none of them counts, the window says so.
    void openFromCommandLine(const QStringList& paths);

    // Event handlers, one per handled event.
    void Form_Load();
    void Form_Unload();
    void Drive1_Change();
    void Dir1_Change();
    void Command1_Click();
    void Command2_Click();
    void DecodeNow_Click();
    void Exit_Click();
    void Setup_Click() override;
    void DestinationSelect_Click();
    void About_Click();

    // The controls, by name.
    QGroupBox* Frame1 = nullptr;
    DriveList* Drive1 = nullptr;
    DirList* Dir1 = nullptr;
    FileList* File1 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QCheckBox* Check2 = nullptr;
    QCheckBox* Check1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QRadioButton* Option4 = nullptr;
    QRadioButton* Option3 = nullptr;
    QRadioButton* Option2 = nullptr;
    QRadioButton* Option1 = nullptr;
    QGroupBox* Frame4 = nullptr;
    QPushButton* Command2 = nullptr;
    QLabel* Label1 = nullptr;
    QGroupBox* Frame5 = nullptr;
    QPushButton* Command1 = nullptr;

    QMenu* FileMenu = nullptr;
    QAction* DecodeNow = nullptr;
    QAction* Dash1 = nullptr;
    QAction* Exit = nullptr;
    QMenu* OptionsMenu = nullptr;
    QAction* Setup = nullptr;
    QAction* Dash2 = nullptr;
    QAction* DestinationSelect = nullptr;
    QMenu* HelpMenu = nullptr;
    QAction* About = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    // Files and folders dropped from a file manager are browsed to, as the user would: the
    // lists move to their folder and exactly the dropped .mp3 files are selected.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Enter that no control takes for itself presses "Decode", the window's default button.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showFailure(const QString& message);
    void tell(QMessageBox::Icon icon, const QString& title, const QString& text);
    // Moves the lists to the plan's folder and selects its files, as the user would.
    void openPlan(const DropPlan& plan);

    Platform& m_platform;
    AppState m_state;
    MessageBoxes m_realBoxes;
    MessageBoxes* m_boxes = &m_realBoxes;
    bool m_unloaded = false;
};

} // namespace tw
