#include "Script.h"

#include "ScriptText.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace tw {

namespace {

bool isUncarriable(wchar_t c) {
    const auto code = static_cast<std::uint32_t>(c);
    return c == L'"' || code < 0x20 || code == 0x7F || (code >= 0x80 && code <= 0x9F);
}

bool isConsoleSpecial(wchar_t c) {
    switch (c) {
    case L'&':
    case L'|':
    case L'<':
    case L'>':
    case L'^':
    case L'(':
    case L')':
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

} // namespace

namespace scripttext {

FormatText textOf(OutputFormat format) {
    switch (format) {
    case OutputFormat::Wav:
        return {L"wav", L"-wav "};
    case OutputFormat::Snd:
        return {L"snd", L"-snd "};
    case OutputFormat::Aiff:
        return {L"aiff", L"-aif "};
    case OutputFormat::Aifc:
        return {L"aifc", L"-aic "};
    }
    return {L"wav", L"-wav "};
}

std::wstring describe(wchar_t c) {
    switch (c) {
    case L'"':
        return L"a double quote";
    case L'\r':
        return L"a carriage return";
    case L'\n':
        return L"a line feed";
    case L'\t':
        return L"a tab";
    case L' ':
        return L"a blank";
    default:
        break;
    }
    if (isUncarriable(c))
        return L"the control character " + hexCode(c);
    return L"\"" + std::wstring(1, c) + L"\"";
}

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

std::optional<wchar_t> unquotableCharacter(std::wstring_view path) {
    for (wchar_t c : path)
        if (isArgumentSeparator(c) || isUncarriable(c))
            return c;
    return std::nullopt;
}

std::wstring quotedName(const std::wstring& name) {
    return L"\"" + visible(name) + L"\"";
}

std::wstring intermediateName(const std::wstring& shortTitle, unsigned number,
                              const std::wstring& extension) {
    std::wstring stem;
    for (wchar_t c : shortTitle.substr(0, shortTitle.rfind(L'.'))) {
        if (stem.size() == 6)
            break;
        const bool plain = (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') ||
                           (c >= L'0' && c <= L'9') || c == L'-';
        stem += plain ? c : L'_';
    }
    const std::wstring tail = L"_" + std::to_wstring(number);
    stem.resize(std::min(stem.size(), 8 - tail.size()));
    return stem + tail + L"." + extension;
}

} // namespace scripttext

using scripttext::visible;

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

std::wstring visibleText(std::wstring_view text) {
    return visible(text);
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

} // namespace tw
