#pragma once

#include <string>

// The per-user folders of a desktop session, as the desktop's base-directory rules name them.
namespace tw::posix {

// $XDG_CONFIG_HOME/tonwright, else ~/.config/tonwright; empty when neither can be told.
std::string userConfigFolder();
// $XDG_DATA_HOME/tonwright, else ~/.local/share/tonwright; empty when neither can be told.
std::string userDataFolder();
// The user's home folder ($HOME, else the password database); empty when unknown.
std::string homeFolder();
// The user's music folder as the desktop names it (XDG_MUSIC_DIR in user-dirs.dirs, else
// ~/Music), when it is a folder; else empty.
std::string userMusicFolder();

// Makes a folder and its parents for this user only where they are new (mode 0700); false
// when it is not a folder afterwards.
bool makeUserFolder(const std::string& folder);

// Whether the program's own folder is the place for its settings and its batch script: a
// folder this user may write that is not one of the system's folders of programs (a build
// tree, a portable copy), or one that already holds `settingsName` for the user to rewrite.
bool programFolderIsTheUsers(const std::string& programFolder, const std::string& settingsName);

// The settings' folder for a program in `programFolder`: that folder where it is the user's,
// else the per-user configuration folder (made if need be); empty when neither will do.
std::string settingsFolderFor(const std::string& programFolder, const std::string& settingsName);

// Where a first run starts: the decoder's folder (the program's where it is the user's, else
// the per-user data folder, made if need be) and the output folder (the music folder, else
// home). Either is empty when nothing can be told.
struct StartFolders {
    std::string decoder;
    std::string output;
};
StartFolders startFoldersFor(const std::string& programFolder, const std::string& settingsName);

} // namespace tw::posix
