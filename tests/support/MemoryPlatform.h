#pragma once

#include "StartRecorder.h"
#include "platform/Text.h"

#include <cstring>
#include <cwctype>
#include <map>
#include <string>
#include <vector>

namespace tw::test {

// An in-memory machine for tests that need no real files: drive letters with labels, folders
// and files whose names match without regard to case, the short forms a test gives them, file
// contents, and a Latin-1 code page (like a Western ANSI page, so text outside it turns into
// "?") beside the console's page of such a machine for the batch script (code page 437's
// upper half as far as it holds Latin-1 letters, each at its own byte there). Every step that can
// fail can be made to fail, and the steps that act are recorded; nothing is ever started (see
// StartRecorder).
class MemoryPlatform : public StartRecorder {
public:
    // A drive whose root cannot be read (no medium) is listed but holds nothing.
    void addDrive(const std::wstring& letter, const std::wstring& label, bool readable = true) {
        m_drives.push_back({letter, label});
        if (readable)
            addDirectory(letter + L"\\");
    }
    // A folder or file, with every folder above it. `shortForm` is its other name; without
    // one, its short form is its own path (a file system without short names).
    void addDirectory(const std::wstring& path, const std::wstring& shortForm = {}) {
        add(path, true, shortForm);
    }
    void addFile(const std::wstring& path, const std::wstring& shortForm = {}) {
        add(path, false, shortForm);
    }

    std::wstring current = L"C:\\";
    std::wstring programFolder = L"C:\\";
    // File contents by the path spelled as written: the programs read back only their own.
    std::map<std::wstring, std::string> files;

    // What entering a folder and writing a file answer: success unless a test says otherwise.
    Status setCurrentResult = Status::success();
    Status writeResult = Status::success();

    std::vector<std::wstring> currentDirectoryCalls;

    std::vector<Drive> drives() const override { return m_drives; }
    // The stored spelling of a known entry (also when named by its short form); otherwise the
    // known folders along the path keep theirs. Native paths are UTF-8, as on both platforms.
    std::string nativePath(const std::wstring& drivePath) const override {
        if (drivePath.size() < 2 || drivePath[1] != L':')
            return {};
        if (const std::wstring known = canonical(drivePath); !known.empty())
            return text::toUtf8(m_entries.at(known).spelling);
        std::wstring at = spelling(drivePath.substr(0, 2) + L"\\");
        std::wstring part;
        for (const wchar_t c : drivePath.substr(2) + L"\\") {
            if (c != L'\\') {
                part += c;
            } else if (!part.empty()) {
                at = spelling((at.size() == 3 ? at : at + L"\\") + part);
                part.clear();
            }
        }
        return text::toUtf8(at);
    }
    std::wstring drivePath(const std::string& nativePath) const override {
        return text::fromUtf8(nativePath);
    }
    bool isDirectory(const std::wstring& drivePath) const override {
        const std::wstring known = canonical(drivePath);
        return !known.empty() && m_entries.at(known).folder;
    }
    bool exists(const std::wstring& drivePath) const override {
        return !canonical(drivePath).empty() || files.count(drivePath) != 0;
    }
    bool sameEntry(const std::wstring& a, const std::wstring& b) const override {
        const std::wstring known = canonical(a);
        return !known.empty() && known == canonical(b);
    }
    std::uint32_t GetShortPathNameA(const char* longPath, char* buffer,
                                    std::uint32_t bufferLength) const override {
        const std::wstring path = fromEightBit(longPath);
        const std::wstring known = canonical(path);
        if (known.empty())
            return 0;
        const auto given = m_shortForms.find(known);
        std::string shortForm =
            toEightBit(given != m_shortForms.end() ? given->second : m_entries.at(known).spelling);
        // Like the long path asked about, the answer ends in a backslash or not.
        if (path.size() > 3 && path.back() == L'\\' && shortForm.back() != '\\')
            shortForm += '\\';
        if (shortForm.size() >= bufferLength)
            return static_cast<std::uint32_t>(shortForm.size() + 1);
        std::memcpy(buffer, shortForm.c_str(), shortForm.size() + 1);
        return static_cast<std::uint32_t>(shortForm.size());
    }
    Status listDirectories(const std::wstring& directory,
                           std::vector<std::wstring>& names) const override {
        if (!isDirectory(directory))
            return Status::failure(L"cannot read " + directory);
        names = children(directory, true, L"*");
        return Status::success();
    }
    // In name order without regard to case, as the keys sort.
    Status listFiles(const std::wstring& directory, const std::wstring& pattern,
                     std::vector<std::wstring>& names) const override {
        if (!isDirectory(directory))
            return Status::failure(L"cannot read " + directory);
        names = children(directory, false, pattern);
        return Status::success();
    }
    std::wstring currentDirectory() const override { return current; }
    Status setCurrentDirectory(const std::wstring& directory) override {
        currentDirectoryCalls.push_back(directory);
        if (setCurrentResult)
            current = directory;
        return setCurrentResult;
    }
    std::wstring programDirectory() const override { return programFolder; }
    std::string toEightBit(const std::wstring& text) const override {
        std::string bytes;
        for (const wchar_t c : text)
            bytes += static_cast<std::uint32_t>(c) <= 0xFF ? static_cast<char>(c) : '?';
        return bytes;
    }
    std::wstring fromEightBit(const std::string& bytes) const override {
        std::wstring text;
        for (const char c : bytes)
            text += static_cast<wchar_t>(static_cast<unsigned char>(c));
        return text;
    }
    std::string toScriptText(const std::wstring& text) const override {
        std::string bytes;
        for (const wchar_t c : text) {
            const std::size_t at = c < 0x80 ? std::wstring::npos : kConsoleUpperHalf.find(c);
            bytes += c < 0x80                   ? static_cast<char>(c)
                     : at != std::wstring::npos ? static_cast<char>(0x80 + at)
                                                : '?';
        }
        return bytes;
    }
    std::wstring fromScriptText(const std::string& bytes) const override {
        std::wstring text;
        for (const char c : bytes) {
            const auto byte = static_cast<unsigned char>(c);
            text += byte < 0x80                               ? static_cast<wchar_t>(byte)
                    : byte - 0x80u < kConsoleUpperHalf.size() ? kConsoleUpperHalf[byte - 0x80]
                                                              : L'?';
        }
        return text;
    }
    Status readFile(const std::wstring& path, std::string& bytes,
                    std::size_t maxBytes = kWholeFile) const override {
        const auto found = files.find(path);
        if (found == files.end())
            return Status::failure(L"no such file");
        bytes = found->second.substr(0, maxBytes);
        return Status::success();
    }
    Status writeFile(const std::wstring& path, const std::string& bytes) override {
        if (writeResult)
            files[path] = bytes;
        return writeResult;
    }
    Status replaceFile(const std::wstring& path, const std::string& bytes) override {
        return writeFile(path, bytes);
    }

private:
    struct Entry {
        std::wstring spelling; // as added, without a trailing backslash below the root
        bool folder = false;
    };

    static std::wstring folded(std::wstring text) {
        for (wchar_t& c : text)
            c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
        return text;
    }
    // "C:" and "C:\" both name the root; "C:\A\" names "C:\A".
    static std::wstring trimmed(std::wstring path) {
        while (path.size() > 3 && path.back() == L'\\')
            path.pop_back();
        if (path.size() == 2)
            path += L'\\';
        return path;
    }
    static bool matches(const std::wstring& pattern, const std::wstring& name) {
        if (pattern.empty())
            return name.empty();
        if (pattern[0] == L'*')
            return matches(pattern.substr(1), name) ||
                   (!name.empty() && matches(pattern, name.substr(1)));
        return !name.empty() && (pattern[0] == L'?' || pattern[0] == name[0]) &&
               matches(pattern.substr(1), name.substr(1));
    }

    void add(const std::wstring& path, bool folder, const std::wstring& shortForm) {
        const std::wstring spelling = trimmed(path);
        for (std::size_t slash = spelling.find(L'\\');
             slash != std::wstring::npos && slash + 1 < spelling.size();
             slash = spelling.find(L'\\', slash + 1)) {
            const std::wstring parent = spelling.substr(0, slash == 2 ? 3 : slash);
            m_entries.emplace(folded(parent), Entry{parent, true});
        }
        const std::wstring key = folded(spelling);
        m_entries[key] = Entry{spelling, folder};
        if (!shortForm.empty()) {
            m_shortForms[key] = trimmed(shortForm);
            m_aliases[folded(trimmed(shortForm))] = key;
        }
    }
    // The key of the entry a path names, directly or through its short form; empty if none.
    std::wstring canonical(const std::wstring& path) const {
        const std::wstring key = folded(trimmed(path));
        if (m_entries.count(key))
            return key;
        const auto alias = m_aliases.find(key);
        return alias == m_aliases.end() ? std::wstring() : alias->second;
    }
    std::wstring spelling(const std::wstring& path) const {
        const auto found = m_entries.find(folded(trimmed(path)));
        return found == m_entries.end() ? path : found->second.spelling;
    }
    std::vector<std::wstring> children(const std::wstring& directory, bool folders,
                                       const std::wstring& pattern) const {
        std::wstring prefix = canonical(directory);
        if (prefix.size() > 3)
            prefix += L'\\';
        std::vector<std::wstring> names;
        for (const auto& [key, entry] : m_entries)
            if (entry.folder == folders && key.size() > prefix.size() &&
                key.compare(0, prefix.size(), prefix) == 0 &&
                key.find(L'\\', prefix.size()) == std::wstring::npos &&
                matches(folded(pattern), key.substr(prefix.size())))
                names.push_back(entry.spelling.substr(prefix.size()));
        return names;
    }

    // Code page 437 from 0x80 on, up to the first character that is not in Latin-1.
    static inline const std::wstring kConsoleUpperHalf =
        L"\u00C7\u00FC\u00E9\u00E2\u00E4\u00E0\u00E5\u00E7\u00EA\u00EB\u00E8\u00EF\u00EE\u00EC"
        L"\u00C4\u00C5\u00C9\u00E6\u00C6\u00F4\u00F6\u00F2\u00FB\u00F9\u00FF\u00D6\u00DC\u00A2"
        L"\u00A3\u00A5";

    std::vector<Drive> m_drives;
    std::map<std::wstring, Entry> m_entries;           // folded path -> entry
    std::map<std::wstring, std::wstring> m_shortForms; // folded path -> short form given
    std::map<std::wstring, std::wstring> m_aliases;    // folded short form -> folded path
};

} // namespace tw::test
