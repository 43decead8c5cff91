// tonwright.ini as something other than a plain file: a pipe, a folder, a link, a device, an
// enormous file. The load never waits and never takes more than six lines need; the save
// replaces a regular file (or the one a link points to) and nothing else.
#include "SettingsFakes.h"
#include "settings/Settings.h"
#include "tests/support/TempDrives.h"

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

using tw::testing::FakeHost;

const std::string validSix = "[Directories]\r\nDecoderPath = C:\\MPEG\r\nLastPath = C:\\START\r\n"
                             "Destination = D:\\WAVES\\\r\n[Switches]\r\nLoadMode = 1\r\n";

// The program in C:\TONWRITE on drives over a temporary folder.
class Program : public tw::posix::PosixPlatform {
public:
    explicit Program(tw::test::TempDrives& drives)
        : PosixPlatform(drives.platform().driveMap()), m_drives(drives) {
        drives.createDirectory(L"C:\\TONWRITE");
    }
    std::wstring programDirectory() const override { return L"C:\\TONWRITE"; }
    std::string ini() const { return m_drives.native(L"C:\\TONWRITE\\tonwright.ini"); }
    std::string elsewhere() const { return m_drives.native(L"C:\\elsewhere"); }

private:
    tw::test::TempDrives& m_drives;
};

struct HostileLoadCase {
    const char* name;
    std::function<void(const Program&)> make;
    bool setupOpens;
};

class HostileLoad : public ::testing::TestWithParam<HostileLoadCase> {};

TEST_P(HostileLoad, FallsBackToSetupWithoutWaiting) {
    tw::test::TempDrives drives;
    Program program(drives);
    GetParam().make(program);
    FakeHost host;
    tw::loadSettings(program, host);
    EXPECT_EQ(host.setupOpened, GetParam().setupOpens ? 1 : 0);
    EXPECT_EQ(host.appState.DecoderPath,
              GetParam().setupOpens ? program.firstRunFolders(L"C:\\").decoder : L"C:\\MPEG");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, HostileLoad,
    ::testing::Values(
        HostileLoadCase{
            "Pipe", [](const Program& p) { ASSERT_EQ(::mkfifo(p.ini().c_str(), 0600), 0); }, true},
        HostileLoadCase{
            "Folder", [](const Program& p) { ASSERT_EQ(::mkdir(p.ini().c_str(), 0700), 0); }, true},
        HostileLoadCase{"LinkToAFile",
                        [](const Program& p) {
                            tw::test::writeFile(p.elsewhere(), validSix);
                            ASSERT_EQ(::symlink(p.elsewhere().c_str(), p.ini().c_str()), 0);
                        },
                        false},
        // Only the six lines are read, however much follows them.
        HostileLoadCase{"EnormousTail",
                        [](const Program& p) {
                            tw::test::writeFile(p.ini(), validSix + std::string(64 << 20, 'x'));
                        },
                        false},
        HostileLoadCase{"LineLongerThanAnyPath",
                        [](const Program& p) {
                            tw::test::writeFile(p.ini(), "[Directories]\r\nDecoderPath = C:\\" +
                                                             std::string(40000, 'x') + "\r\n");
                        },
                        true}),
    [](const auto& tested) { return std::string(tested.param.name); });

struct SaveCase {
    const char* name;
    std::function<void(const Program&)> make;
    bool saved;
    bool throughTheLink; // the save lands in the file the link points to
};

class HostileSave : public ::testing::TestWithParam<SaveCase> {};

TEST_P(HostileSave, ReplacesOnlyARegularFile) {
    tw::test::TempDrives drives;
    Program program(drives);
    tw::test::writeFile(program.elsewhere(), "someone else's");
    GetParam().make(program);
    struct stat before {};
    ASSERT_EQ(::lstat(program.ini().c_str(), &before), 0);
    FakeHost host;
    host.appState = {L"D:\\WAVES\\", 1, L"C:\\MPEG", L"C:\\TONWRITE\\"};

    const tw::Status saved = tw::saveSettings(program, host);

    EXPECT_EQ(saved.ok, GetParam().saved) << tw::text::toUtf8(saved.message);
    if (!saved.ok) {
        EXPECT_EQ(saved.message.rfind(L"The settings could not be saved.\n", 0), 0u);
    }
    struct stat after {};
    ASSERT_EQ(::lstat(program.ini().c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & S_IFMT, before.st_mode & S_IFMT) << "the entry changed kind";
    EXPECT_EQ(tw::test::readFile(program.elsewhere()) == "someone else's",
              !GetParam().throughTheLink);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, HostileSave,
    ::testing::Values(
        SaveCase{"LinkToAFile",
                 [](const Program& p) {
                     ASSERT_EQ(::symlink(p.elsewhere().c_str(), p.ini().c_str()), 0);
                 },
                 true, true},
        SaveCase{"DanglingLink",
                 [](const Program& p) {
                     ASSERT_EQ(::symlink((p.elsewhere() + "-nowhere").c_str(), p.ini().c_str()), 0);
                 },
                 false, false},
        SaveCase{"Pipe", [](const Program& p) { ASSERT_EQ(::mkfifo(p.ini().c_str(), 0600), 0); },
                 false, false},
        SaveCase{"LinkToAPipe",
                 [](const Program& p) {
                     ASSERT_EQ(::mkfifo((p.elsewhere() + "-pipe").c_str(), 0600), 0);
                     ASSERT_EQ(::symlink((p.elsewhere() + "-pipe").c_str(), p.ini().c_str()), 0);
                 },
                 false, false},
        SaveCase{"Folder", [](const Program& p) { ASSERT_EQ(::mkdir(p.ini().c_str(), 0700), 0); },
                 false, false}),
    [](const auto& tested) { return std::string(tested.param.name); });

TEST(HostileSave, ADeviceNodeStaysADevice) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can make a device node";
    tw::test::TempDrives drives;
    Program program(drives);
    // The null device's numbers, made privately: a save through it would vanish silently.
    ASSERT_EQ(::mknod(program.ini().c_str(), S_IFCHR | 0600, makedev(1, 3)), 0);
    FakeHost host;
    host.appState.AppPath = L"C:\\TONWRITE\\";
    EXPECT_FALSE(tw::saveSettings(program, host).ok);
    struct stat st {};
    ASSERT_EQ(::lstat(program.ini().c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

} // namespace
