#pragma once

#include "AppState.h"
#include "DecodeInput.h"

#include <functional>
#include <string>

namespace tw {

class Platform;

struct DecodeResult {
    enum class Kind {
        Started,         // TEMP.BAT written and started
        NothingSelected, // the window shows the "Yikes!" box
        Refused,         // a folder is missing, or no selected file can be decoded safely;
                         // nothing was written
        Failed,          // a step failed; what was written stays on disk
        Cancelled        // the user chose not to replace files that are there; nothing written
    };
    Kind kind = Kind::Started;
    // Refused and Failed: what and why, for a message box. NothingSelected: the box's text.
    // Started: empty, or the files that were left out and why, for a message box.
    std::wstring message;
};

// What the user answers when files in the output folder would be replaced.
enum class ReplaceAnswer { Replace, Skip, Cancel };
// Asks that once, with the question's text; the window shows it with the three answers.
using AskBeforeReplacing = std::function<ReplaceAnswer(const std::wstring& question)>;

// The Decode operation: writes TEMP.BAT afresh in state.DecoderPath (made the current
// directory first) and starts it in a console window, minimized when LoadMode is 1. The
// script is built and checked in full before anything is touched, so a refusal changes
// nothing; buildBatchScript (Script.h) gives the same text without writing it. Files that
// cannot be decoded safely are left out and the others go ahead. When selected files would
// replace files of their output names that are in the output folder (an earlier decode, or
// another album's track of the same name), `ask` is asked once first: Replace goes on, Skip
// leaves those files out, Cancel writes nothing. Without `ask`, they are replaced.
[[nodiscard]] DecodeResult decodeNow(Platform& platform, const DecodeInput& input,
                                     const AppState& state, const AskBeforeReplacing& ask = {});

// The question for `names`, the output names that would be replaced (a screenful of them).
std::wstring replaceQuestion(const std::vector<std::wstring>& names);

} // namespace tw
