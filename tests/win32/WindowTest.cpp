// The windows on Windows itself: the system's own window platform (not the offscreen one), the
// real platform layer over a temporary folder, and the TEMP.BAT that Decode writes run by the
// system's cmd.exe in a console of its own, with a stand-in L3DEC.EXE that copies its input.
#include "platform/Text.h"
#include "platform/win32/Win32Platform.h"
#include "tests/support/MessageBoxProbe.h"
#include "tests/support/ModalDriver.h"
#include "ui/FileList.h"
#include "ui/Form1.h"
#include "ui/Form2.h"

#include <windows.h>

#include <QGuiApplication>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The system's platform, with the program's folder (where the settings live) a test's own.
class ProgramIn : public tw::win32::Win32Platform {
public:
    std::wstring programDirectory() const override { return folder; }
    std::wstring folder;
};

class WindowsWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("windows"))
            << "the test runs on another window platform than the system's";
        wchar_t temp[MAX_PATH + 1] = {};
        ASSERT_GT(::GetTempPathW(MAX_PATH + 1, temp), 0u);
        wchar_t longTemp[MAX_PATH + 1] = {};
        ASSERT_GT(::GetLongPathNameW(temp, longTemp, MAX_PATH + 1), 0u);
        m_root = fs::path(longTemp) / (L"twwin" + std::to_wstring(::GetCurrentProcessId()));
        for (const wchar_t* folder : {L"program", L"in", L"out", L"mpeg"})
            fs::create_directories(m_root / folder);
        platform.folder = path(L"program");
        m_before = platform.currentDirectory();
    }
    void TearDown() override {
        static_cast<void>(platform.setCurrentDirectory(m_before));
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }

    std::wstring path(const std::wstring& relative) const { return (m_root / relative).wstring(); }
    void write(const std::wstring& relative, const std::string& bytes) {
        ASSERT_TRUE(platform.writeFile(path(relative), bytes));
    }
    std::string read(const std::wstring& relative) const {
        std::string bytes;
        static_cast<void>(platform.readFile(path(relative), bytes));
        return bytes;
    }

    ProgramIn platform;
    fs::path m_root;
    std::wstring m_before;
};

TEST_F(WindowsWindow, FirstStartOpensSetupBeforeTheMainWindow) {
    tw::Form1 window(platform);
    QString caption;
    bool mainWindowShown = true;
    bool systemWindowShown = false;
    const auto answer = [&](tw::Form2& setup) {
        caption = setup.windowTitle();
        mainWindowShown = window.isVisible();
        systemWindowShown = ::IsWindowVisible(reinterpret_cast<HWND>(setup.winId()));
        QTest::mouseClick(setup.Command1, Qt::LeftButton);
    };
    EXPECT_TRUE(tw::test::whileModal<tw::Form2>([&] { window.Form_Load(); }, answer));
    EXPECT_EQ(caption, QStringLiteral("Setup"));
    EXPECT_FALSE(mainWindowShown);
    EXPECT_TRUE(systemWindowShown) << "Setup is no visible window of the system's";
    EXPECT_TRUE(platform.isDirectory(window.state().DecoderPath));
}

// Names that mean something to cmd, and one longer than any short name; all within the console's
// code page, so that Decode leaves none out.
const std::vector<std::wstring> kHostileNames = {
    L"a & b.mp3",
    L"50% off.mp3",
    L"x^y.mp3",
    L"(live) [2001].mp3",
    L"bang!.mp3",
    L"semi;colon, eq=.mp3",
    L"caf\u00e9.mp3",
    L"%PATH%.mp3",
    L"song & calc.mp3",
    L"two  blanks  inside.mp3",
    L"Loud.MP3",
    L"An Extremely Long Title That Goes On And On (Remastered Edition) - Live At The Hall.mp3",
};

TEST_F(WindowsWindow, DecodeFromTheWindowLandsEveryFileUnderItsLongName) {
    for (const std::wstring& name : kHostileNames)
        write(L"in\\" + name, "frames of " + tw::text::toUtf8(name));
    write(L"in\\notes.txt", "not listed");
    ASSERT_TRUE(
        ::CopyFileW((platform.Win32Platform::programDirectory() + L"\\standin-l3dec.exe").c_str(),
                    path(L"mpeg\\L3DEC.EXE").c_str(), FALSE));

    tw::Form1 window(platform);
    window.state().DecoderPath = path(L"mpeg");
    window.state().Destination = path(L"out") + L"\\";
    window.state().LoadMode = 0;
    window.setLabel1(window.state().Destination);
    ASSERT_TRUE(window.setDirPath(path(L"in")));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    std::set<std::wstring> listed;
    for (int i = 0; i < window.File1->listCount(); ++i)
        listed.insert(window.File1->list(i).toStdWString());
    ASSERT_EQ(listed, std::set<std::wstring>(kHostileNames.begin(), kHostileNames.end()));

    // Every file, as a user selects them: the first, then Shift+End.
    QTest::mouseClick(window.File1->viewport(), Qt::LeftButton, {},
                      window.File1->visualItemRect(window.File1->item(0)).center());
    QTest::keyClick(window.File1, Qt::Key_End, Qt::ShiftModifier);
    for (int i = 0; i < window.File1->listCount(); ++i)
        ASSERT_TRUE(window.File1->isSelected(i)) << i;

    tw::test::RecordingBoxes boxes;
    window.setMessageBoxes(&boxes);
    QTest::mouseClick(window.Command1, Qt::LeftButton);
    window.setMessageBoxes(nullptr);
    for (const tw::Message& message : boxes.shown)
        ADD_FAILURE() << "Decode said: " << message.text.toStdString();
    ASSERT_FALSE(read(L"mpeg\\TEMP.BAT").empty());

    // The console runs on its own: wait until its last line has renamed the last output.
    std::set<std::wstring> wanted;
    for (const std::wstring& name : kHostileNames)
        wanted.insert(name.substr(0, name.size() - 3) + L"wav");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    std::set<std::wstring> landed;
    while (landed != wanted && std::chrono::steady_clock::now() < deadline) {
        QTest::qWait(250);
        landed.clear();
        for (const auto& entry : fs::directory_iterator(m_root / L"out"))
            landed.insert(entry.path().filename().wstring());
    }
    EXPECT_EQ(landed, wanted) << "the console's TEMP.BAT:\n" << read(L"mpeg\\TEMP.BAT");
    for (const std::wstring& name : kHostileNames)
        EXPECT_EQ(read(L"out\\" + name.substr(0, name.size() - 3) + L"wav"),
                  "frames of " + tw::text::toUtf8(name));
}

} // namespace
