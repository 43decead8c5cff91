#include "Script.h"

#include "Module1.h"
#include "platform/Platform.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

namespace tw {

namespace {

struct Format {
    const wchar_t* extension;
    const wchar_t* decoderSwitch;
};

// Option1..Option4, in the order their extensions and switches are appended.
constexpr std::array<Format, 4> kFormats{{
    {L"wav", L"-wav "},
    {L"snd", L"-snd "},
    {L"aiff", L"-aif "},
    {L"aifc", L"-aic "},
}};

const wchar_t* const kLineEnd = L"\r\n";

bool isUncarriable(wchar_t c) {
    const auto code = static_cast<std::uint32_t>(c);
    return c == L'"' || code < 0x20 || code == 0x7F || (code >= 0x80 && code <= 0x9F);
}

bool isConsoleSpecial(wchar_t c) {
    switch (c) {
    case L'&': case L'|': case L'<': case L'>': case L'^': case L'(': case L')':
        return true;
    default:
        return false;
    }
}

// Characters that split an unquoted argument; a short path never holds them.
bool isArgumentSeparator(wchar_t c) {
    return c == L' ' || c == L',' || c == L';' || c == L'=';
}

std::wstring hexCode(wchar_t c) {
    wchar_t buffer[16];
    std::swprintf(buffer, 16, L"U+%04X", static_cast<unsigned>(static_cast<std::uint32_t>(c)));
    return buffer;
}

std::wstring describe(wchar_t c) {
    switch (c) {
    case L'"': return L"a double quote";
    case L'\r': return L"a carriage return";
    case L'\n': return L"a line feed";
    case L'\t': return L"a tab";
    case L' ': return L"a blank";
    default: break;
    }
    if (isUncarriable(c))
        return L"the control character " + hexCode(c);
    return L"\"" + std::wstring(1, c) + L"\"";
}

// The text with control characters spelled out, so a message can show it on one line.
std::wstring visible(std::wstring_view text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\r')
            out += L"<CR>";
        else if (c == L'\n')
            out += L"<LF>";
        else if (c != L'"' && isUncarriable(c))
            out += L"<" + hexCode(c) + L">";
        else
            out += c;
    }
    return out;
}

std::optional<std::wstring> checkCarriable(std::wstring_view text, const std::wstring& what,
                                           const wchar_t* advice) {
    const std::size_t at = findUncarriable(text);
    if (at == std::wstring_view::npos)
        return std::nullopt;
    return what + L" \"" + visible(text) + L"\" holds " + describe(text[at]) +
           L", which the batch script cannot carry safely. " + advice;
}

std::wstring cutLast(const std::wstring& text, std::size_t count) {
    return text.size() >= count ? text.substr(0, text.size() - count) : std::wstring();
}

// One line of the script, appended straight to it. Every piece goes through appendScriptText;
// the quotes of the rename line are the only characters added around it.
class ScriptLine {
public:
    explicit ScriptLine(std::wstring& script) : m_script(script) {}
    ScriptLine& plain(std::wstring_view text) {
        appendScriptText(m_script, text, false);
        return *this;
    }
    ScriptLine& quoted(std::wstring_view text) {
        m_script += L'"';
        appendScriptText(m_script, text, true);
        m_script += L'"';
        return *this;
    }
    void end() { m_script += kLineEnd; }

private:
    std::wstring& m_script;
};

// Where the output path lands once the script runs in the decoder folder: a path without a
// drive is taken on the decoder folder's drive, a bare name in the decoder folder itself.
std::wstring locateOutput(const std::wstring& output, const std::wstring& decoderPath) {
    if (output.size() >= 2 && output[1] == L':')
        return output;
    if (!output.empty() && output[0] == L'\\')
        return output.size() >= 2 && output[1] == L'\\' ? output
                                                       : decoderPath.substr(0, 2) + output;
    return joinPath(decoderPath, output);
}

// An output path that already names a file is only acceptable when that file is the entry's
// own rename target (an earlier output of the same track): the decoder would overwrite it.
std::optional<std::wstring> checkCollision(const Platform& platform, const std::wstring& output,
                                           const std::wstring& newName, const std::wstring& name,
                                           const std::wstring& decoderPath) {
    const std::wstring located = locateOutput(output, decoderPath);
    if (!platform.exists(located))
        return std::nullopt;
    const std::size_t slash = located.rfind(L'\\');
    const std::wstring renameTarget =
        (slash == std::wstring::npos ? std::wstring() : located.substr(0, slash + 1)) + newName;
    if (platform.sameEntry(located, renameTarget))
        return std::nullopt;
    std::wstring existing = platform.drivePath(platform.nativePath(located));
    if (existing.empty())
        existing = located;
    std::wstring why = existing == located ? std::wstring(L"already exists")
                                           : L"is another name of the existing file " + existing;
    return L"Decoding \"" + name + L"\" would overwrite a file that is not its own: its output " +
           output + L" " + why + L". Choose another output folder, or move " + existing +
           L" away, and decode again.";
}

std::optional<std::wstring> checkUnquoted(const std::wstring& piece, const std::wstring& what,
                                          const std::wstring& name) {
    for (wchar_t c : piece) {
        if (isArgumentSeparator(c) || isUncarriable(c))
            return L"The " + what + L" for \"" + name + L"\", " + visible(piece) + L", holds " +
                   describe(c) +
                   L": the file system gave no short form that the decoder line can carry. "
                   L"Choose folders and files that have short names.";
    }
    return std::nullopt;
}

} // namespace

void appendScriptText(std::wstring& script, std::wstring_view text, bool quoted) {
    for (wchar_t c : text) {
        if (c == L'%')
            script += L'%';
        else if (!quoted && isConsoleSpecial(c))
            script += L'^';
        script += c;
    }
}

std::wstring scriptText(std::wstring_view text, bool quoted) {
    std::wstring out;
    appendScriptText(out, text, quoted);
    return out;
}

std::size_t findUncarriable(std::wstring_view text) {
    for (std::size_t i = 0; i < text.size(); ++i)
        if (isUncarriable(text[i]))
            return i;
    return std::wstring_view::npos;
}

std::wstring joinPath(const std::wstring& directory, const std::wstring& name) {
    if (!directory.empty() && directory.back() == L'\\')
        return directory + name;
    return directory + L'\\' + name;
}

BatchScript buildBatchScript(const Platform& platform, const DecodeInput& input,
                             const AppState& state) {
    BatchScript script;
    auto refuse = [&script](std::wstring message) {
        script.outcome = BatchScript::Outcome::Refused;
        script.text.clear();
        script.message = std::move(message);
        return script;
    };

    std::vector<std::size_t> counted;
    for (std::size_t i = 0; i < input.entries.size(); ++i)
        if (i < input.selected.size() && input.selected[i] && !input.entries[i].empty())
            counted.push_back(i);
    if (counted.empty()) {
        script.outcome = BatchScript::Outcome::NothingSelected;
        return script;
    }

    // Everything that reaches the script or names where it goes is checked before any line
    // exists, so a refusal leaves the disk and the current directory untouched.
    const wchar_t* chooseFolder = L"Choose another folder and try again.";
    if (auto why = checkCarriable(state.DecoderPath, L"The decoder folder", chooseFolder))
        return refuse(*why);
    if (auto why = checkCarriable(state.Destination, L"The output folder", chooseFolder))
        return refuse(*why);
    if (auto why = checkCarriable(input.dirPath, L"The folder", chooseFolder))
        return refuse(*why);
    for (std::size_t i : counted) {
        const std::wstring& name = input.entries[i];
        if (auto why = checkCarriable(name, L"The file name",
                                      L"Rename the file and decode it again."))
            return refuse(*why);
        if (platform.fromEightBit(platform.toEightBit(name)) != name)
            return refuse(L"The file name \"" + name +
                          L"\" holds characters that the system's 8-bit character set cannot "
                          L"write into the batch script. Rename the file and decode it again.");
    }

    std::wstring extensions;
    std::wstring formatSwitches;
    for (std::size_t f = 0; f < kFormats.size(); ++f) {
        if (input.formats[f]) {
            extensions += kFormats[f].extension;
            formatSwitches += kFormats[f].decoderSwitch;
        }
    }
    std::wstring switches = formatSwitches;
    if (input.check1)
        switches += L"-sa ";
    if (input.check2)
        switches += L"-ign ";

    const std::wstring shortDestination = ShortPath(platform, state.Destination);
    script.text.reserve(counted.size() * 128);
    for (std::size_t i : counted) {
        const std::wstring& name = input.entries[i];
        const std::wstring shortSource = ShortPath(platform, joinPath(input.dirPath, name));
        const std::wstring shortTitle = LastPathPart(shortSource);
        std::wstring output = joinPath(shortDestination, shortTitle);
        if (output.size() < 3) {
            script.outcome = BatchScript::Outcome::StoppedShort;
            script.message =
                L"Cannot name the output of \"" + name + L"\": its output path \"" + output +
                L"\" is too short to replace an extension (neither the file in " + input.dirPath +
                L" nor the output folder " + state.Destination +
                L" was found). TEMP.BAT holds the lines of the files before it; nothing was "
                L"started.";
            return script;
        }
        output = cutLast(output, 3) + extensions;
        const std::wstring newName = cutLast(name, 3) + extensions;

        if (auto why = checkUnquoted(shortSource, L"short source path", name))
            return refuse(*why);
        if (auto why = checkUnquoted(output, L"output path", name))
            return refuse(*why);
        if (auto why = checkCollision(platform, output, newName, name, state.DecoderPath))
            return refuse(*why);

        ScriptLine(script.text).plain(L"L3DEC ").plain(shortSource).plain(L" ").plain(output)
            .plain(L" ").plain(switches).end();
        ScriptLine(script.text).plain(L"REN ").plain(output).plain(L" ").quoted(newName).end();
    }
    return script;
}

} // namespace tw
