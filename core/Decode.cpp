#include "Decode.h"

#include "Script.h"
#include "platform/Platform.h"

namespace tw {

namespace {

const wchar_t* const kScriptName = L"TEMP.BAT";

DecodeResult failed(std::wstring message) {
    return {DecodeResult::Kind::Failed, std::move(message)};
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
    case BatchScript::Outcome::StoppedShort:
        break;
    }

    if (Status s = platform.setCurrentDirectory(state.DecoderPath); !s)
        return failed(L"Cannot make the decoder folder " + state.DecoderPath +
                      L" the current folder: " + s.message);

    const std::wstring scriptPath = joinPath(state.DecoderPath, kScriptName);
    if (Status s = platform.writeFile(scriptPath, platform.toEightBit(script.text)); !s)
        return failed(L"Cannot write " + scriptPath + L": " + s.message);

    if (script.outcome == BatchScript::Outcome::StoppedShort)
        return failed(script.message);

    if (Status s = platform.startBatch(state.DecoderPath, kScriptName, state.LoadMode == 1); !s)
        return failed(L"Cannot start " + scriptPath + L": " + s.message);
    return {DecodeResult::Kind::Started, {}};
}

} // namespace tw
