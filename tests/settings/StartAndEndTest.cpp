// The main window's load and unload over real files: tonwright.ini in a temporary program
// folder, lists over temporary drives.

#include "core/AppState.h"
#include "tests/support/CaseNames.h"
#include "tests/support/MessageBoxProbe.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/RecordingPlatform.h"
#include "tests/support/TempDrives.h"
#include "ui/DirList.h"
#include "ui/DriveList.h"
#include "ui/Form1.h"
#include "ui/Form2.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>

namespace {

// The program lives in C:\TONWRITE and starts in C:\START; nothing is ever launched.
class Machine {
public:
    Machine() : m_platform(m_drives.platform()) {
        for (const wchar_t* folder : {L"C:\\TONWRITE", L"C:\\START", L"C:\\MPEG", L"D:\\WAVES"})
            m_drives.createDirectory(folder);
    }
    tw::Platform& platform() { return m_platform; }
    tw::test::TempDrives& drives() { return m_drives; }
    void writeIni(const std::string& bytes) { m_drives.createFile(iniPath, bytes); }
    std::string ini() const { return tw::test::TempDrives::readNative(m_drives.native(iniPath)); }
    std::string nativeProgramFolder() const { return m_drives.native(L"C:\\TONWRITE"); }

    static constexpr const wchar_t* iniPath = L"C:\\TONWRITE\\tonwright.ini";

private:
    class Platform : public tw::test::RecordingPlatform {
    public:
        using RecordingPlatform::RecordingPlatform;
        std::wstring programDirectory() const override { return L"C:\\TONWRITE"; }
        std::wstring currentDirectory() const override { return L"C:\\START"; }
    };
    tw::test::TempDrives m_drives;
    Platform m_platform;
};

// What the Setup dialog showed while the load ran, and whether the main window was visible.
struct SetupSeen {
    bool shown = false;
    bool mainWindowVisible = false;
    QString dir1;
    QString drive;
    bool minimized = false;
};

// Runs `action`; if Setup opens, records it and lets `user` act on it (then closes it).
SetupSeen runWithSetup(const std::function<void()>& action, QWidget* mainWindow,
                       const std::function<void(tw::Form2&)>& user) {
    SetupSeen seen;
    tw::test::whileModal<tw::Form2>(action, [&](tw::Form2& dialog) {
        seen = {true, mainWindow->isVisible(), dialog.Dir1->path(), dialog.Drive1->drive(),
                dialog.Option1->isChecked()};
        user(dialog);
    });
    return seen;
}

void pressOkay(tw::Form2& dialog) {
    QTest::mouseClick(dialog.Command1, Qt::LeftButton);
}

// Lists of files in the program folder other than tonwright.ini: the save leaves none behind.
std::vector<std::string> strayFiles(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename() != "tonwright.ini")
            names.push_back(entry.path().filename().string());
    return names;
}

TEST(StartAndEnd, FirstRunShowsSetupFirstThenWritesTheWholeFile) {
    Machine machine;
    tw::Form1 window(machine.platform());
    const SetupSeen seen = runWithSetup([&] { window.Form_Load(); }, &window, pressOkay);

    ASSERT_TRUE(seen.shown);
    EXPECT_FALSE(seen.mainWindowVisible);
    EXPECT_EQ(seen.dir1, "C:\\");
    EXPECT_EQ(seen.drive.left(2), "C:");
    EXPECT_FALSE(seen.minimized);
    EXPECT_EQ(window.label1(), "C:\\");
    EXPECT_EQ(window.state().AppPath, L"C:\\TONWRITE\\");
    EXPECT_EQ(window.Dir1->path(), "C:\\START");

    window.show();
    window.close();
    EXPECT_EQ(machine.ini(), "[Directories]\r\nDecoderPath = C:\\\r\nLastPath = C:\\START\r\n"
                             "Destination = C:\\\r\n[Switches]\r\nLoadMode = 0\r\n");
    EXPECT_TRUE(strayFiles(machine.nativeProgramFolder()).empty());
}

TEST(StartAndEnd, ReadFileOpensNoSetupAndMovesTheLists) {
    Machine machine;
    machine.writeIni("[Directories]\r\nDecoderPath = C:\\MPEG\\\r\nLastPath = d:\\waves\r\n"
                     "Destination = D:\\WAVES\\\r\n[Switches]\r\nLoadMode = 5\r\n");
    tw::Form1 window(machine.platform());
    const SetupSeen seen = runWithSetup([&] { window.Form_Load(); }, &window, pressOkay);
    EXPECT_FALSE(seen.shown);
    EXPECT_EQ(window.Dir1->path(), "D:\\WAVES");
    EXPECT_EQ(window.Drive1->drive().left(2), "C:"); // the drive list is left alone
    EXPECT_EQ(window.label1(), "D:\\WAVES\\");
    EXPECT_EQ(window.state().LoadMode, 5);

    // Options > Setup: a non-zero LoadMode opens on "Minimized"; Okay stores 1 and the
    // directory list's own spelling of the decoder folder.
    window.show();
    const SetupSeen setup = runWithSetup([&] { window.Setup->trigger(); }, &window, pressOkay);
    ASSERT_TRUE(setup.shown);
    EXPECT_TRUE(setup.mainWindowVisible);
    EXPECT_TRUE(setup.minimized);
    EXPECT_EQ(setup.dir1, "C:\\MPEG");
    EXPECT_EQ(window.state().DecoderPath, L"C:\\MPEG");
    EXPECT_EQ(window.state().LoadMode, 1);
    window.close();
}

TEST(StartAndEnd, DecoderFolderGoneStillOpensSetupWhereNewListsStart) {
    Machine machine;
    machine.writeIni("[Directories]\r\nDecoderPath = C:\\GONE\r\nLastPath = C:\\ALSOGONE\r\n");
    tw::Form1 window(machine.platform());
    const SetupSeen seen = runWithSetup([&] { window.Form_Load(); }, &window,
                                        [](tw::Form2& d) {
                                            ASSERT_TRUE(d.Dir1->setPath("C:\\MPEG"));
                                            pressOkay(d);
                                        });
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.dir1, "C:\\START");
    EXPECT_EQ(window.state().DecoderPath, L"C:\\MPEG");
    EXPECT_EQ(window.label1(), "C:\\");
}

class EndTest : public ::testing::TestWithParam<const char*> {};

TEST_P(EndTest, ExitAndCloseBoxBothWriteTheSixLines) {
    Machine machine;
    machine.writeIni("[Directories]\r\nDecoderPath = C:\\MPEG\r\nLastPath = C:\\START\r\n"
                     "Destination = D:\\WAVES\\\r\n[Switches]\r\nLoadMode = -1\r\nextra\r\n");
    {
        tw::Form1 window(machine.platform());
        window.Form_Load();
        window.show();
        ASSERT_TRUE(window.Dir1->setPath("C:\\MPEG"));
        if (std::string(GetParam()) == "Exit")
            window.Exit->trigger();
        else
            window.close();
        EXPECT_FALSE(window.isVisible());
    }
    EXPECT_EQ(machine.ini(), "[Directories]\r\nDecoderPath = C:\\MPEG\r\nLastPath = C:\\MPEG\r\n"
                             "Destination = D:\\WAVES\\\r\n[Switches]\r\nLoadMode =-1\r\n");
}

INSTANTIATE_TEST_SUITE_P(Ways, EndTest, ::testing::Values("Exit", "CloseBox"),
                         tw::test::namedByValue());

TEST(StartAndEnd, SaveThatCannotBeDoneIsReportedAndTheWindowStillCloses) {
    Machine machine;
    machine.writeIni("[Directories]\r\nDecoderPath = C:\\MPEG\r\nLastPath = C:\\START\r\n"
                     "Destination = D:\\WAVES\\\r\n[Switches]\r\nLoadMode = 1\r\n");
    tw::Form1 window(machine.platform());
    window.Form_Load();
    window.show();
    // Something the file cannot replace: a folder of that name.
    std::filesystem::remove(machine.drives().native(Machine::iniPath));
    machine.drives().createDirectory(Machine::iniPath);

    const tw::test::BoxSeen box = tw::test::runAndAnswerBox(window, [&] { window.close(); });
    ASSERT_TRUE(box.shown);
    EXPECT_EQ(box.title, "Tonwright");
    EXPECT_TRUE(box.text.contains("C:\\TONWRITE\\tonwright.ini")) << box.text.toStdString();
    EXPECT_TRUE(box.text.contains("directory")) << box.text.toStdString();
    EXPECT_FALSE(window.isVisible());
}

} // namespace
