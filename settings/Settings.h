#pragma once

#include "SettingsHost.h"
#include "platform/Status.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

class Platform;

// The settings file's name inside the program's folder.
inline constexpr std::wstring_view settingsFileName = L"tonwright.ini";

// Reads tonwright.ini into the main window's state, moves Dir1 to the last browsed folder and
// shows Destination in Label1. At the first thing that cannot be read (no file on a first run,
// a short or damaged file, a folder that is gone) it runs the main window's Setup command
// instead of reading on; values read before that stay.
void loadSettings(const Platform& platform, SettingsHost& host);

// Replaces tonwright.ini whole with the state and Dir1's path. On failure the message names
// the file and the reason; the old file is then left as it was.
Status saveSettings(Platform& platform, SettingsHost& host);

// --- The pieces of the file format, for the load and save and for tests ---

// Reads the file's text line by line: a carriage return ends a line and takes a line feed
// directly after it along; a line feed on its own is part of the line. The last line may end
// at the end of the text without a terminator.
class SettingsLineReader {
public:
    explicit SettingsLineReader(std::wstring_view text) : m_text(text) {}
    // The next line without its terminator; nothing once the end of the text was reached.
    std::optional<std::wstring> readLine();

private:
    std::wstring_view m_text;
    std::size_t m_pos = 0;
};

// The line without its first `count` characters, unexamined; nothing when it is shorter.
std::optional<std::wstring> valueAfter(const std::wstring& line, std::size_t count);

// The LoadMode number of line 6: blanks, tabs and line feeds anywhere are ignored; then an
// optional sign, digits, an optional "." with digits and an optional exponent (E or e, an
// optional sign, digits), up to the first character that cannot continue it. No number is 0.
// Rounded to the nearest integer, a half to the even one. Nothing when the result does not fit
// 16 bits. Exact for any length of digits and any exponent.
std::optional<std::int16_t> readLoadMode(std::wstring_view text);

// LoadMode as written after "LoadMode =": a blank for zero and up, "-" below zero.
std::wstring loadModeText(std::int16_t value);

// The whole file as the save writes it: six lines, each ended by CR LF.
std::wstring settingsFileText(const AppState& state, const std::wstring& lastPath);

} // namespace tw
