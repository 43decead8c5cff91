#pragma once

#include "AppState.h"
#include "Decode.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace tw {

class Platform;

// The one way text enters TEMP.BAT: appends `text` to `script`. "%" is doubled everywhere;
// outside double quotes the console's special characters & | < > ^ ( ) get a "^" in front.
// Ordinary names come out unchanged. The text must not hold a double quote or a control
// character: those cannot be carried at all and are refused before any line is built (see
// findUncarriable).
void appendScriptText(std::wstring& script, std::wstring_view text, bool quoted);
// The same, as a text of its own.
std::wstring scriptText(std::wstring_view text, bool quoted);

// Position of the first character that no script line can carry (a double quote, CR, LF or any
// other control character), or npos.
std::size_t findUncarriable(std::wstring_view text);

// The batch script for one Decode, built in memory without touching the disk.
struct BatchScript {
    enum class Outcome {
        Complete,        // every counted entry has its two lines
        NothingSelected, // no entry counts: nothing to write
        Refused,         // unsafe text or an output that would overwrite another file
        StoppedShort     // an output path too short to cut its extension; `text` holds the
                         // lines of the entries before it
    };
    Outcome outcome = Outcome::Complete;
    std::wstring text;    // the lines, each ended by CR LF
    std::wstring message; // for Refused and StoppedShort
};

// Builds the decoder and rename lines for every selected, non-empty entry in list order. Reads
// the file system only through the platform (short names, and whether an output path already
// names a file).
[[nodiscard]] BatchScript buildBatchScript(const Platform& platform, const DecodeInput& input,
                                           const AppState& state);

// `directory` and `name` with a "\" between them unless the directory already ends in one.
std::wstring joinPath(const std::wstring& directory, const std::wstring& name);

} // namespace tw
