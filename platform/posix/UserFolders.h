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

} // namespace tw::posix
