#pragma once

// Reading a batch script as the console reads it: its lines, the words of a line, percent signs
// and carets. Nothing here runs anything.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::console {

// The batch file's first pass: "%%" becomes "%". Variables are never expanded, so "%PATH%"
// and a lone "%" stay as written.
std::wstring collapsePercents(const std::wstring& line);

// Splits a line (after collapsePercents) into words: blanks separate words, double quotes
// group (and are removed), "^x" outside quotes is a literal x. "&", "|", "<", ">" and
// parentheses are ordinary characters.
std::vector<std::wstring> splitWords(const std::wstring& line);

// Reads the word at or after `pos` as splitWords reads words, and leaves `pos` just after it.
// False when only blanks (or a lone final caret) remain.
bool readWord(const std::wstring& line, std::size_t& pos, std::wstring& word);

bool isBlank(wchar_t c);

// "X:\..." (a letter, a colon, a backslash).
bool isDrivePath(const std::wstring& word);

// "\X" is X on the current drive; "\\server\..." names another machine.
bool isRootedOnCurrentDrive(const std::wstring& word);

// Names are compared as the file lists and the drive paths compare them.
bool sameNameIgnoringCase(std::wstring_view a, std::wstring_view b);

// REN, DEL, IF and REM and their other spellings: the words the console runs itself.
bool isBuiltIn(const std::wstring& word);

// Text as it may reach the terminal: a control character would act on it (an ESC sequence can
// retitle the window or clear the screen), so each is shown in caret notation instead: C0 and
// DEL as "^@".."^_" and "^?", a C1 character as the ESC sequence it stands for ("^[[" for CSI).
std::wstring visible(std::wstring_view text);

// The lines of a script's bytes as the console takes them: every CR dropped, and a caret that
// ends a line outside quotes joining the next line to it. Bytes become text with `decode`.
class ScriptLines {
public:
    using Decode = std::function<std::wstring(const std::string&)>;
    ScriptLines(const std::string& bytes, Decode decode);

    // The next line; false at the end.
    bool next(std::wstring& line);

private:
    std::wstring rawLine();

    const std::string& m_bytes;
    Decode m_decode;
    std::size_t m_start = 0;
};

// A line ready to run: without its leading blanks, its "@" (which hides the echo) and with "%%"
// collapsed. Empty for a line that runs nothing (blank, a label, a "::" comment).
struct PreparedLine {
    std::wstring text;
    bool echo = true;
};
PreparedLine prepareLine(const std::wstring& line);

} // namespace tw::console
