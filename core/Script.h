#pragma once

#include "AppState.h"
#include "DecodeInput.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

class Platform;

// The one way text enters TEMP.BAT: appends `text` to `script`. "%" is doubled everywhere;
// outside double quotes the console's special characters & | < > ^ ( ) get a "^" in front.
// Ordinary names come out unchanged. The text must not hold a double quote or a control
// character: those cannot be carried at all, and such a file is left out before any line is
// built (see findUncarriable).
void appendScriptText(std::wstring& script, std::wstring_view text, bool quoted);
// The same, as a text of its own.
std::wstring scriptText(std::wstring_view text, bool quoted);

// The text with control characters spelled out ("<CR>", "<U+0007>"), for a message.
std::wstring visibleText(std::wstring_view text);

// Position of the first character that no script line can carry (a double quote, CR, LF or any
// other control character), or npos.
std::size_t findUncarriable(std::wstring_view text);

// A selected file that Decode leaves out, and why ("its name holds a double quote, ...").
struct LeftOut {
    std::wstring name;
    std::wstring why;
};

// The batch script for one Decode, built in memory without touching the disk.
struct BatchScript {
    enum class Outcome {
        Complete,        // the lines of every file that can be decoded safely; maybe none
        NothingSelected, // no entry counts: nothing to write
        Refused          // a folder is missing or cannot be named in the script
    };
    Outcome outcome = Outcome::Complete;
    std::string bytes;            // the lines in the console's characters, each ended by CR LF
    std::wstring message;         // for Refused
    std::vector<LeftOut> leftOut; // in list order
    // The output names of files in the output folder that the script replaces, in list order.
    std::vector<std::wstring> replacing;
};

// Builds the lines of every selected, non-empty entry in list order: the decoder line, a line
// that deletes the file's own earlier output once the new one exists (only where there is
// one), and the rename line. The whole script is played through on a model of the folders
// (Platform::nameModel), so that every path names, when its line runs, exactly what was
// checked: a file's own source, a name that names nothing (the decoder's new output), the file's
// own earlier output. An output short name that would name another file is replaced by one that
// names nothing; a file that cannot be decoded safely is left out, with the reason.
[[nodiscard]] BatchScript buildBatchScript(const Platform& platform, const DecodeInput& input,
                                           const AppState& state);

// `directory` and `name` with a "\" between them unless the directory already ends in one.
std::wstring joinPath(const std::wstring& directory, const std::wstring& name);

} // namespace tw
