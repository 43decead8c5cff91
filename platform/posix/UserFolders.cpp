#include "UserFolders.h"

#include "Files.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw::posix {

namespace {

std::string fromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    // Relative values are invalid by the rules and ignored.
    return value && value[0] == '/' ? value : std::string();
}

bool isFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// XDG_MUSIC_DIR="$HOME/Music" in user-dirs.dirs: a quoted value, "$HOME/" standing for home.
std::string musicFromUserDirs(const std::string& home, const std::string& configHome) {
    std::string text;
    if (readWholeFile(configHome + "/user-dirs.dirs", text, 64 * 1024) != 0)
        return {};
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const std::string key = "XDG_MUSIC_DIR=\"";
        if (line.rfind(key, 0) != 0 || line.size() < key.size() + 1 || line.back() != '"')
            continue;
        std::string value = line.substr(key.size(), line.size() - key.size() - 1);
        if (value.rfind("$HOME", 0) == 0)
            value = home + value.substr(5);
        return value.empty() || value[0] != '/' ? std::string() : value;
    }
    return {};
}

std::string configHome() {
    std::string folder = fromEnvironment("XDG_CONFIG_HOME");
    if (folder.empty() && !homeFolder().empty())
        folder = homeFolder() + "/.config";
    return folder;
}

} // namespace

std::string homeFolder() {
    std::string home = fromEnvironment("HOME");
    if (home.empty())
        if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
            home = entry->pw_dir;
    return home;
}

std::string userConfigFolder() {
    const std::string folder = configHome();
    return folder.empty() ? std::string() : folder + "/tonwright";
}

std::string userDataFolder() {
    std::string folder = fromEnvironment("XDG_DATA_HOME");
    if (folder.empty() && !homeFolder().empty())
        folder = homeFolder() + "/.local/share";
    return folder.empty() ? std::string() : folder + "/tonwright";
}

std::string userMusicFolder() {
    const std::string home = homeFolder();
    if (home.empty())
        return {};
    std::string music = musicFromUserDirs(home, configHome());
    if (music.empty())
        music = home + "/Music";
    // The home folder itself is what the desktop names when music has no folder of its own.
    return isFolder(music) && music != home ? music : std::string();
}

bool programFolderIsTheUsers(const std::string& programFolder, const std::string& settingsName) {
    if (programFolder.empty() || ::access(programFolder.c_str(), W_OK) != 0)
        return false;
    const std::string settings = programFolder + "/" + settingsName;
    struct stat st {};
    if (::lstat(settings.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        return ::access(settings.c_str(), W_OK) == 0;
    // Root may write these too, but an installed program keeps nothing of a user's there.
    for (const char* system : {"/bin", "/sbin", "/usr/bin", "/usr/sbin", "/usr/games",
                               "/usr/local/bin", "/usr/local/sbin", "/usr/local/games"})
        if (programFolder == system)
            return false;
    return true;
}

std::string settingsFolderFor(const std::string& programFolder, const std::string& settingsName) {
    if (programFolderIsTheUsers(programFolder, settingsName))
        return programFolder;
    const std::string config = userConfigFolder();
    return makeUserFolder(config) ? config : std::string();
}

StartFolders startFoldersFor(const std::string& programFolder, const std::string& settingsName) {
    StartFolders folders;
    if (programFolderIsTheUsers(programFolder, settingsName))
        folders.decoder = programFolder;
    else if (const std::string data = userDataFolder(); makeUserFolder(data))
        folders.decoder = data;
    folders.output = userMusicFolder();
    if (folders.output.empty() && isFolder(homeFolder()))
        folders.output = homeFolder();
    return folders;
}

bool makeUserFolder(const std::string& folder) {
    if (folder.empty() || folder[0] != '/')
        return false;
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
    }
    return isFolder(folder);
}

} // namespace tw::posix
