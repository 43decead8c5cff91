#include "DrivePath.h"

#include <cstdint>
#include <cstring>

namespace tw {

namespace {

wchar_t upper(wchar_t letter) {
    return (letter >= L'a' && letter <= L'z') ? static_cast<wchar_t>(letter - 0x20) : letter;
}

bool isLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

} // namespace

bool isDriveSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool hasDriveLetter(const std::wstring& text) {
    return text.size() >= 2 && isLetter(text[0]) && text[1] == L':';
}

std::wstring DrivePath::drive() const {
    return {upper(letter), L':'};
}

std::wstring DrivePath::normalized() const {
    std::vector<const std::wstring*> kept;
    for (const std::wstring& component : components) {
        if (component == L".")
            continue;
        if (component == L"..") {
            if (!kept.empty())
                kept.pop_back();
            continue;
        }
        kept.push_back(&component);
    }
    std::wstring text = drive() + L'\\';
    for (std::size_t i = 0; i < kept.size(); ++i)
        text += (i ? L"\\" : L"") + *kept[i];
    return text;
}

DrivePath parseDrivePath(const std::wstring& text) {
    DrivePath parsed;
    if (!hasDriveLetter(text) || text.find(L'\0') != std::wstring::npos)
        return parsed;
    if (text.size() > 2 && !isDriveSeparator(text[2]))
        return parsed;
    parsed.letter = text[0];
    parsed.rooted = text.size() > 2;
    for (std::size_t start = 2; start < text.size();) {
        std::size_t end = start;
        while (end < text.size() && !isDriveSeparator(text[end]))
            ++end;
        if (end > start)
            parsed.components.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    parsed.trailingSeparator = text.size() > 3 && isDriveSeparator(text.back());
    parsed.valid = true;
    return parsed;
}

Status pathFailure(const wchar_t* what, const std::wstring& path, const std::wstring& why) {
    return Status::failure(std::wstring(what) + L" " + path + L": " + why);
}

Status noDriveFailure(const wchar_t* what, const std::wstring& path) {
    return pathFailure(what, path,
                       hasDriveLetter(path) ? L"there is no drive " + path.substr(0, 2)
                                            : std::wstring(L"not a full path with a drive letter"));
}

std::uint32_t answerInBuffer(const std::string& text, char* buffer, std::uint32_t bufferLength) {
    const auto length = static_cast<std::uint32_t>(text.size());
    if (!buffer || length >= bufferLength)
        return length + 1;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return length;
}

} // namespace tw
