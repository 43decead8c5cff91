#pragma once

// Windows only: two files of one folder that the system gives one short name. Wine makes a short
// name from a hash of the long name and never checks it against the folder's others, so two
// files can share one, and Decode must leave such files out. Windows keeps them unique.

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace tw::test {

// The system's short form of an existing path, asked directly; empty when there is none.
inline std::wstring systemShortPath(const std::wstring& path) {
    std::wstring buffer(MAX_PATH, L'\0');
    DWORD n = ::GetShortPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n >= buffer.size()) {
        buffer.assign(n, L'\0');
        n = ::GetShortPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    }
    buffer.resize(n < buffer.size() ? n : 0);
    return buffer;
}

// Makes "Song xxxxx.mp3" files in `folder` (no trailing "\") until two get one short name, and
// removes the others. The two names, or two empty ones when the system kept every short name
// its own. The letters vary in five places: Wine's hash is linear in the name's bits, so names
// that differ in a few digits only (12 bits) never collide in its 15.
inline std::pair<std::wstring, std::wstring> makeShortNameTwins(const std::wstring& folder,
                                                                const std::string& content) {
    std::vector<std::pair<std::wstring, std::wstring>> made; // long name, short name
    std::pair<std::wstring, std::wstring> twins;
    for (unsigned i = 0; i < 2000 && twins.first.empty(); ++i) {
        // A step prime to 26^5 gives every i letters of its own.
        std::wstring letters;
        for (unsigned k = (i * 7919u) % 11881376u, place = 0; place < 5; ++place, k /= 26)
            letters += static_cast<wchar_t>(L'a' + k % 26);
        const std::wstring name = L"Song " + letters + L".mp3";
        const std::wstring path = folder + L"\\" + name;
        const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            break;
        DWORD written = 0;
        ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        ::CloseHandle(file);
        const std::wstring shortName = systemShortPath(path);
        for (const auto& [otherName, otherShort] : made)
            if (::CompareStringOrdinal(otherShort.c_str(), -1, shortName.c_str(), -1, TRUE) ==
                CSTR_EQUAL)
                twins = {otherName, name};
        made.emplace_back(name, shortName);
    }
    for (const auto& [name, shortName] : made)
        if (name != twins.first && name != twins.second)
            ::DeleteFileW((folder + L"\\" + name).c_str());
    return twins;
}

} // namespace tw::test
