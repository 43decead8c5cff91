#pragma once

// A platform that keeps files in memory and a main window without widgets, for the settings
// tests and the settings fuzz target.

#include "platform/Platform.h"
#include "settings/SettingsHost.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tw::testing {

// Drives C: and D:, folders spelled in capitals, files as bytes.
class MemoryPlatform : public Platform {
public:
    std::wstring programFolder = L"C:\\TONWRITE";
    std::wstring currentFolder = L"C:\\START";
    std::set<std::wstring> folders{L"C:\\",          L"C:\\START", L"C:\\MPEG",
                                   L"C:\\MPEG\\OLD", L"C:\\MUSIC", L"C:\\MUSIC\\NEW",
                                   L"C:\\TONWRITE",  L"D:\\",      L"D:\\WAVES"};
    std::map<std::wstring, std::string> files;
    // When set, every replaceFile fails with this reason.
    std::wstring writeFailure;

    std::vector<Drive> drives() const override { return {{L"C:", L"[/]"}, {L"D:", L"[DATA]"}}; }
    // The "native" form is the drive path in capitals, so any spelling finds the folder.
    std::string nativePath(const std::wstring& drivePath) const override {
        if (drivePath.size() < 2 || drivePath[1] != L':')
            return {};
        std::string native;
        for (const wchar_t c : drivePath)
            native.push_back(static_cast<char>(c >= L'a' && c <= L'z' ? c - 32 : c & 0x7F));
        return native;
    }
    std::wstring drivePath(const std::string& nativePath) const override {
        return std::wstring(nativePath.begin(), nativePath.end());
    }
    bool isDirectory(const std::wstring& drivePath) const override {
        return folders.count(withoutTrailingBackslash(drivePath)) != 0;
    }
    bool exists(const std::wstring& path) const override { return files.count(path) != 0; }
    bool sameEntry(const std::wstring& a, const std::wstring& b) const override {
        return a == b && exists(a);
    }
    std::uint32_t GetShortPathNameA(const char*, char*, std::uint32_t) const override { return 0; }
    Status listDirectories(const std::wstring& directory,
                           std::vector<std::wstring>& names) const override {
        std::wstring prefix = withoutTrailingBackslash(directory);
        if (folders.count(prefix) == 0)
            return Status::failure(L"The folder does not exist.");
        if (prefix.back() != L'\\')
            prefix += L'\\';
        names.clear();
        for (const std::wstring& folder : folders)
            if (folder.size() > prefix.size() && folder.compare(0, prefix.size(), prefix) == 0 &&
                folder.find(L'\\', prefix.size()) == std::wstring::npos)
                names.push_back(folder.substr(prefix.size()));
        return Status::success();
    }
    Status listFiles(const std::wstring&, const std::wstring&,
                     std::vector<std::wstring>&) const override {
        return Status::failure(L"no listings here");
    }
    std::wstring currentDirectory() const override { return currentFolder; }
    Status setCurrentDirectory(const std::wstring&) override { return Status::success(); }
    std::wstring programDirectory() const override { return programFolder; }
    // Latin-1 both ways: every byte is one character, so any byte string survives.
    std::string toEightBit(const std::wstring& text) const override {
        std::string bytes;
        for (const wchar_t c : text)
            bytes.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
        return bytes;
    }
    std::wstring fromEightBit(const std::string& bytes) const override {
        std::wstring text;
        for (const char c : bytes)
            text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
        return text;
    }
    Status readFile(const std::wstring& path, std::string& bytes) const override {
        const auto it = files.find(path);
        if (it == files.end())
            return Status::failure(L"The file does not exist.");
        bytes = it->second;
        return Status::success();
    }
    Status writeFile(const std::wstring& path, const std::string& bytes) override {
        return replaceFile(path, bytes);
    }
    Status replaceFile(const std::wstring& path, const std::string& bytes) override {
        if (!writeFailure.empty())
            return Status::failure(writeFailure);
        files[path] = bytes;
        return Status::success();
    }
    Status startBatch(const std::wstring&, const std::wstring&, bool) override {
        return Status::failure(L"no consoles here");
    }
    Status openAddress(const std::wstring&) override { return Status::failure(L"no shell here"); }

private:
    static std::wstring withoutTrailingBackslash(const std::wstring& path) {
        return path.size() > 3 && path.back() == L'\\' ? path.substr(0, path.size() - 1) : path;
    }
};

// The main window as the settings see it: Dir1 can show the folders in `folders` only.
class FakeHost : public SettingsHost {
public:
    AppState appState;
    std::wstring drive = L"C: [/]";
    std::wstring dir1 = L"C:\\START";
    std::set<std::wstring> folders{L"C:\\", L"C:\\START", L"C:\\MUSIC\\NEW", L"D:\\WAVES"};
    std::wstring label1;
    int setupOpened = 0;
    AppState stateAtSetup; // what Setup would have been primed with
    // What the user does in Setup, if anything.
    std::function<void(AppState&)> setupAction;

    AppState& state() override { return appState; }
    std::wstring driveText() const override { return drive; }
    std::wstring dirPath() const override { return dir1; }
    bool setDirPath(const std::wstring& path) override {
        if (folders.count(path) == 0)
            return false;
        dir1 = path;
        return true;
    }
    void setLabel1(const std::wstring& caption) override { label1 = caption; }
    void Setup_Click() override {
        ++setupOpened;
        stateAtSetup = appState;
        if (setupAction)
            setupAction(appState);
    }
};

} // namespace tw::testing
