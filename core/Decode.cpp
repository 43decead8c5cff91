#include "Decode.h"

#include "Script.h"
#include "platform/Platform.h"

namespace tw {

namespace {

const wchar_t* const kScriptName = L"TEMP.BAT";

DecodeResult failed(std::wstring message) {
    return {DecodeResult::Kind::Failed, std::move(message)};
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

DecodeResult decodeNow(Platform& platform, const DecodeInput& input, const AppState& state) {
    // The whole script is built and checked first: a refusal must leave no trace on disk.
    BatchScript script = buildBatchScript(platform, input, state);
    switch (script.outcome) {
    case BatchScript::Outcome::NothingSelected:
        return {DecodeResult::Kind::NothingSelected, L"Um... pick a file, Einstein!"};
    case BatchScript::Outcome::Refused:
        return {DecodeResult::Kind::Refused, script.message};
    case BatchScript::Outcome::Complete:
        break;
    }
    if (script.text.empty())
        return {DecodeResult::Kind::Refused, describeLeftOut(script.leftOut, true)};

    if (Status s = platform.setCurrentDirectory(state.DecoderPath); !s)
        return failed(L"Cannot make the decoder folder " + state.DecoderPath +
                      L" the current folder: " + s.message);

    const std::wstring scriptPath = joinPath(state.DecoderPath, kScriptName);
    if (Status s = platform.writeFile(scriptPath, platform.toEightBit(script.text)); !s)
        return failed(L"Cannot write " + scriptPath + L": " + s.message);

    if (Status s = platform.startBatch(state.DecoderPath, kScriptName, state.LoadMode == 1); !s)
        return failed(L"Cannot start " + scriptPath + L": " + s.message);
    if (!script.leftOut.empty())
        return {DecodeResult::Kind::Started, describeLeftOut(script.leftOut, false)};
    return {DecodeResult::Kind::Started, {}};
}

} // namespace tw
