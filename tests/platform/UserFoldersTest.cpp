// Where the settings and a first run's folders go, for a program in its build tree, in a
// portable copy, and installed where the user may not write.
#include "platform/posix/UserFolders.h"

#include "tests/support/ScopedEnv.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <functional>

#include <map>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using tw::test::ScopedEnv;
using tw::test::TempFolder;

struct PlaceCase {
    const char* name;
    // Makes the program's folder below the scratch folder (or names a system one) and returns it.
    std::function<std::string(const TempFolder&)> program;
    bool musicFolder;     // the user has a music folder
    const char* settings; // "program" or "config"
    const char* decoder;  // "program" or "data"
    const char* output;   // "music" or "home"
};

class StartPlaces : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(StartPlaces, AreFoldersTheUserMayWrite) {
    const PlaceCase& c = GetParam();
    TempFolder scratch;
    const std::string home = scratch / "home";
    tw::test::writeFile(home + "/.config/keep", "");
    if (c.musicFolder) {
        tw::test::writeFile(home + "/Songs/keep", "");
        tw::test::writeFile(home + "/.config/user-dirs.dirs",
                            "# written by the desktop\nXDG_MUSIC_DIR=\"$HOME/Songs\"\n");
    }
    ScopedEnv homeVariable("HOME", home.c_str());
    ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    ScopedEnv data("XDG_DATA_HOME", (scratch / "data").c_str());
    const std::string program = c.program(scratch);
    const std::map<std::string, std::string> places{{"program", program},
                                                    {"config", home + "/.config/tonwright"},
                                                    {"data", scratch / "data/tonwright"},
                                                    {"music", home + "/Songs"},
                                                    {"home", home}};

    EXPECT_EQ(tw::posix::settingsFolderFor(program, "tonwright.ini"), places.at(c.settings));
    const tw::posix::StartFolders start = tw::posix::startFoldersFor(program, "tonwright.ini");
    EXPECT_EQ(start.decoder, places.at(c.decoder));
    EXPECT_EQ(start.output, places.at(c.output));
    // Folders made for the user are the user's alone.
    for (const std::string& made :
         {tw::posix::settingsFolderFor(program, "tonwright.ini"), start.decoder})
        if (made != program) {
            struct stat st {};
            ASSERT_EQ(::stat(made.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0700u) << made;
        }
}

INSTANTIATE_TEST_SUITE_P(
    Programs, StartPlaces,
    ::testing::Values(
        PlaceCase{"BuildTree",
                  [](const TempFolder& f) {
                      tw::test::writeFile(f / "build/bin/keep", "");
                      return f / "build/bin";
                  },
                  true, "program", "program", "music"},
        // Root may write there, but an installed program keeps nothing of a user's in it.
        PlaceCase{"InstalledInASystemFolder",
                  [](const TempFolder&) { return std::string("/usr/bin"); }, false, "config",
                  "data", "home"},
        PlaceCase{"NoProgramFolderKnown", [](const TempFolder&) { return std::string(); }, true,
                  "config", "data", "music"}),
    [](const auto& tested) { return std::string(tested.param.name); });

// A folder the user may not write: as root, an ordinary user stands in.
TEST(StartPlaces, AFolderTheUserMayNotWriteIsNotTheirs) {
    TempFolder scratch;
    tw::test::writeFile(scratch / "opt/bin/keep", "");
    ASSERT_EQ(::chmod(scratch.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod((scratch / "opt").c_str(), 0755), 0);
    ASSERT_EQ(::chmod((scratch / "opt/bin").c_str(), 0555), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && ::setuid(65534) != 0)
            ::_exit(3);
        ::_exit(tw::posix::programFolderIsTheUsers(scratch / "opt/bin", "tonwright.ini") ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::chmod((scratch / "opt/bin").c_str(), 0755);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

} // namespace
