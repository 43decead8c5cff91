#pragma once

#include "platform/Platform.h"

#include <cstring>
#include <cwctype>
#include <map>
#include <string>
#include <vector>

namespace tw::test {

// An in-memory platform for the Decode tests: files and folders with the short forms a test
// gives them, a Latin-1 code page (like a Western Windows ANSI page, so text outside it turns
// into "?"), and every step that can fail switchable to failure.
class FakePlatform : public Platform {
public:
    struct BatchStart {
        std::wstring directory;
        std::wstring scriptName;
        bool minimized = false;
    };

    // An existing file or folder and its short form (the long path's own text when omitted).
    void add(const std::wstring& longPath, const std::wstring& shortForm = {}) {
        const std::wstring shortText = shortForm.empty() ? longPath : shortForm;
        m_entries[upper(longPath)] = longPath;
        m_shortForms[upper(longPath)] = shortText;
        m_aliases[upper(shortText)] = upper(longPath);
    }

    Status setCurrentResult = Status::success();
    Status writeResult = Status::success();
    Status startResult = Status::success();

    std::vector<std::wstring> currentDirectoryCalls;
    std::map<std::wstring, std::string> written; // path -> bytes of every file written
    std::vector<BatchStart> starts;

    std::vector<Drive> drives() const override { return {}; }
    std::string nativePath(const std::wstring& drivePath) const override {
        const std::wstring key = canonical(drivePath);
        return key.empty() ? std::string() : toEightBit(m_entries.at(key));
    }
    std::wstring drivePath(const std::string& nativePath) const override {
        return fromEightBit(nativePath);
    }
    bool isDirectory(const std::wstring&) const override { return false; }
    bool exists(const std::wstring& drivePath) const override {
        return !canonical(drivePath).empty();
    }
    bool sameEntry(const std::wstring& a, const std::wstring& b) const override {
        const std::wstring ka = canonical(a);
        return !ka.empty() && ka == canonical(b);
    }
    std::uint32_t GetShortPathNameA(const char* longPath, char* buffer,
                                    std::uint32_t bufferLength) const override {
        const auto found = m_shortForms.find(upper(fromEightBit(longPath)));
        if (found == m_shortForms.end())
            return 0;
        const std::string shortForm = toEightBit(found->second);
        if (shortForm.size() >= bufferLength)
            return static_cast<std::uint32_t>(shortForm.size() + 1);
        std::memcpy(buffer, shortForm.c_str(), shortForm.size() + 1);
        return static_cast<std::uint32_t>(shortForm.size());
    }
    Status listDirectories(const std::wstring&, std::vector<std::wstring>&) const override {
        return Status::failure(L"no listings here");
    }
    Status listFiles(const std::wstring&, const std::wstring&,
                     std::vector<std::wstring>&) const override {
        return Status::failure(L"no listings here");
    }
    std::wstring currentDirectory() const override {
        return currentDirectoryCalls.empty() ? L"C:\\" : currentDirectoryCalls.back();
    }
    Status setCurrentDirectory(const std::wstring& directory) override {
        currentDirectoryCalls.push_back(directory);
        return setCurrentResult;
    }
    std::wstring programDirectory() const override { return L"C:\\"; }
    std::string toEightBit(const std::wstring& text) const override {
        std::string bytes;
        for (wchar_t c : text)
            bytes += static_cast<std::uint32_t>(c) <= 0xFF ? static_cast<char>(c) : '?';
        return bytes;
    }
    std::wstring fromEightBit(const std::string& bytes) const override {
        std::wstring text;
        for (char c : bytes)
            text += static_cast<wchar_t>(static_cast<unsigned char>(c));
        return text;
    }
    Status readFile(const std::wstring& path, std::string& bytes) const override {
        const auto found = written.find(path);
        if (found == written.end())
            return Status::failure(L"no such file");
        bytes = found->second;
        return Status::success();
    }
    Status writeFile(const std::wstring& path, const std::string& bytes) override {
        if (writeResult)
            written[path] = bytes;
        return writeResult;
    }
    Status replaceFile(const std::wstring& path, const std::string& bytes) override {
        return writeFile(path, bytes);
    }
    Status startBatch(const std::wstring& directory, const std::wstring& scriptName,
                      bool minimized) override {
        starts.push_back({directory, scriptName, minimized});
        return startResult;
    }
    Status openAddress(const std::wstring&) override { return Status::success(); }

private:
    static std::wstring upper(std::wstring text) {
        for (wchar_t& c : text)
            c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
        return text;
    }
    // Upper-case long path of the entry a path names, directly or through its short form.
    std::wstring canonical(const std::wstring& path) const {
        const std::wstring key = upper(path);
        if (m_entries.count(key))
            return key;
        const auto alias = m_aliases.find(key);
        return alias == m_aliases.end() ? std::wstring() : alias->second;
    }

    std::map<std::wstring, std::wstring> m_entries;    // upper long path -> long path
    std::map<std::wstring, std::wstring> m_shortForms; // upper long path -> short form
    std::map<std::wstring, std::wstring> m_aliases;    // upper short form -> upper long path
};

} // namespace tw::test
