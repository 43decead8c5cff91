#pragma once

#include "platform/ConsolePlacement.h"

#include <string>
#include <vector>

namespace tw {

// The container the decoder writes: one of the option buttons under "Output format".
enum class OutputFormat { Wav, Snd, Aiff, Aifc };

// What Decode is asked to do: the files of one folder and which of them are chosen, the output
// format and the decoder's two switches. The window fills it from its lists and options.
struct DecodeInput {
    std::vector<std::wstring> entries; // the folder's .mp3 files, in list order
    std::vector<bool> selected;        // whether each entry is chosen
    // Why an entry cannot be decoded as the list shows it (its name holds a line break, or is
    // no UTF-8 text, and is shown with stand-ins); empty, or missing at the end, when it can.
    std::vector<std::wstring> unusable;
    std::wstring sourceFolder; // the folder the entries are in
    OutputFormat format = OutputFormat::Wav;
    bool searchAgain = false;  // "-sa": search again after loss of synchronization
    bool ignoreErrors = false; // "-ign": ignore all error messages
    // A file whose output name is already in the output folder is left out instead of
    // replacing it (the user's answer to the question before replacing).
    bool keepExisting = false;
    ConsolePlacement console; // where the window stands, so the console opens in view
};

} // namespace tw
