#include "Decode.h"

#include "Script.h"
#include "platform/Platform.h"
#include "platform/Text.h"

namespace tw {

namespace {

const wchar_t* const kScriptName = L"TEMP.BAT";

DecodeResult failed(std::wstring message) {
    return {DecodeResult::Kind::Failed, std::move(message)};
}

// The platform's own message, when it names the path; else the step and the path before it.
std::wstring stepFailure(const wchar_t* step, const std::wstring& path, const Status& status) {
    if (status.message.find(path) != std::wstring::npos)
        return status.message;
    return step + path + L": " + status.message;
}

// A message box shows a screenful; the rest is counted.
constexpr std::size_t kLeftOutShown = 20;

std::wstring describeLeftOut(const std::vector<LeftOut>& leftOut, bool noneLeft) {
    std::wstring message = noneLeft ? L"None of the selected files can be decoded:\n\n"
                                    : L"These files were left out of the decode:\n\n";
    for (std::size_t i = 0; i < leftOut.size() && i < kLeftOutShown; ++i)
        message += L"\"" + visibleText(leftOut[i].name) + L"\": " + leftOut[i].why + L".\n";
    if (leftOut.size() > kLeftOutShown)
        message += L"... and " + std::to_wstring(leftOut.size() - kLeftOutShown) + L" more.\n";
    message += noneLeft ? L"\nNothing was written." : L"\nThe other files are being decoded.";
    return message;
}

} // namespace

std::wstring replaceQuestion(const std::vector<std::wstring>& names) {
    std::vector<std::wstring> sorted = names;
    text::sortForListing(sorted);
    const std::size_t count = sorted.size();
    std::wstring question = count == 1
                                ? L"A file in the output folder has the output name of a "
                                  L"selected file and would be replaced:\n\n"
                                : std::to_wstring(count) +
                                      L" files in the output folder have the output names of "
                                      L"selected files and would be replaced:\n\n";
    for (std::size_t i = 0; i < count && i < kLeftOutShown; ++i)
        question += L"\"" + visibleText(sorted[i]) + L"\"\n";
    if (count > kLeftOutShown)
        question += L"... and " + std::to_wstring(count - kLeftOutShown) + L" more.\n";
    question += count == 1 ? L"\nReplace it, skip the selected file that would replace it, or "
                             L"cancel the decode?"
                           : L"\nReplace them, skip the selected files that would replace them, "
                             L"or cancel the decode?";
    return question;
}

namespace {

// Asks once when outputs would replace files of their names; false when the user cancels. On
// Skip the script is built again, keeping those files.
bool askBeforeReplacing(Platform& platform, const DecodeInput& input, const AppState& state,
                        const AskBeforeReplacing& ask, BatchScript& script) {
    if (!ask || script.outcome != BatchScript::Outcome::Complete || script.replacing.empty())
        return true;
    switch (ask(replaceQuestion(script.replacing))) {
    case ReplaceAnswer::Replace:
        break;
    case ReplaceAnswer::Cancel:
        return false;
    case ReplaceAnswer::Skip: {
        DecodeInput keeping = input;
        keeping.keepExisting = true;
        script = buildBatchScript(platform, keeping, state);
        break;
    }
    }
    return true;
}

// Writes the script into the decoder folder and starts it there.
DecodeResult writeAndStart(Platform& platform, const DecodeInput& input, const AppState& state,
                           const BatchScript& script) {
    // The script is written and run in the decoder folder: a folder the user cannot use there
    // is one to change in Setup.
    const std::wstring chooseAnother =
        L"\n\nThe batch script is written into the decoder folder and runs there. Choose a "
        L"folder you may write with Options > Setup; the decoder is also found on the program's "
        L"own path.";
    if (Status s = platform.setCurrentDirectory(state.DecoderPath); !s)
        return failed(stepFailure(L"Cannot enter the decoder folder ", state.DecoderPath, s) +
                      chooseAnother);

    const std::wstring scriptPath = joinPath(state.DecoderPath, kScriptName);
    if (Status s = platform.writeFile(scriptPath, script.bytes); !s)
        return failed(stepFailure(L"Cannot write ", scriptPath, s) + chooseAnother);

    if (Status s =
            platform.startBatch(state.DecoderPath, kScriptName, state.LoadMode == 1, input.console);
        !s)
        return failed(stepFailure(L"Cannot start ", scriptPath, s));
    if (!script.leftOut.empty())
        return {DecodeResult::Kind::Started, describeLeftOut(script.leftOut, false)};
    return {DecodeResult::Kind::Started, {}};
}

} // namespace

DecodeResult decodeNow(Platform& platform, const DecodeInput& input, const AppState& state,
                       const AskBeforeReplacing& ask) {
    // The whole script is built and checked first: a refusal must leave no trace on disk.
    BatchScript script = buildBatchScript(platform, input, state);
    if (!askBeforeReplacing(platform, input, state, ask, script))
        return {DecodeResult::Kind::Cancelled, {}};
    switch (script.outcome) {
    case BatchScript::Outcome::NothingSelected:
        return {DecodeResult::Kind::NothingSelected, L"Um... pick a file, Einstein!"};
    case BatchScript::Outcome::Refused:
        return {DecodeResult::Kind::Refused, script.message};
    case BatchScript::Outcome::Complete:
        break;
    }
    if (script.bytes.empty())
        return {DecodeResult::Kind::Refused, describeLeftOut(script.leftOut, true)};
    return writeAndStart(platform, input, state, script);
}

} // namespace tw
