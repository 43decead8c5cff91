#pragma once

#include "StartRecorder.h"

#include <string>
#include <vector>

namespace tw::test {

// A platform that passes everything to another one, except that it starts nothing (see
// StartRecorder). Tests use it over a PosixPlatform on temporary folders, so files are real
// but no window ever opens.
class RecordingPlatform : public StartRecorder {
public:
    explicit RecordingPlatform(Platform& inner) : m_inner(inner) {}

    Platform& inner() { return m_inner; }

    std::vector<Drive> drives() const override { return m_inner.drives(); }
    std::string nativePath(const std::wstring& drivePath) const override {
        return m_inner.nativePath(drivePath);
    }
    std::wstring drivePath(const std::string& nativePath) const override {
        return m_inner.drivePath(nativePath);
    }
    bool isDirectory(const std::wstring& drivePath) const override {
        return m_inner.isDirectory(drivePath);
    }
    bool exists(const std::wstring& drivePath) const override { return m_inner.exists(drivePath); }
    bool sameEntry(const std::wstring& a, const std::wstring& b) const override {
        return m_inner.sameEntry(a, b);
    }
    tw::FolderRules folderRules(const std::wstring& folder) const override {
        return m_inner.folderRules(folder);
    }
    std::uint32_t GetShortPathNameA(const char* longPath, char* buffer,
                                    std::uint32_t bufferLength) const override {
        return m_inner.GetShortPathNameA(longPath, buffer, bufferLength);
    }
    Status listDirectories(const std::wstring& directory,
                           std::vector<std::wstring>& names) const override {
        return m_inner.listDirectories(directory, names);
    }
    Status listFiles(const std::wstring& directory, const std::wstring& pattern,
                     std::vector<std::wstring>& names) const override {
        return m_inner.listFiles(directory, pattern, names);
    }
    Status listEveryFile(const std::wstring& directory, const std::wstring& pattern,
                         std::vector<std::wstring>& names,
                         std::vector<std::wstring>& unusable) const override {
        return m_inner.listEveryFile(directory, pattern, names, unusable);
    }
    std::wstring currentDirectory() const override { return m_inner.currentDirectory(); }
    Status setCurrentDirectory(const std::wstring& directory) override {
        return m_inner.setCurrentDirectory(directory);
    }
    std::wstring programDirectory() const override { return m_inner.programDirectory(); }
    // settingsDirectory and firstRunFolders stay the plain ones, over programDirectory and the
    // drive root, which tests set; the POSIX choices are tested on the platform itself.
    std::string toEightBit(const std::wstring& text) const override {
        return m_inner.toEightBit(text);
    }
    std::wstring fromEightBit(const std::string& bytes) const override {
        return m_inner.fromEightBit(bytes);
    }
    std::string toScriptText(const std::wstring& text) const override {
        return m_inner.toScriptText(text);
    }
    bool carriesInScript(const std::wstring& text) const override {
        return m_inner.carriesInScript(text);
    }
    std::wstring fromScriptText(const std::string& bytes) const override {
        return m_inner.fromScriptText(bytes);
    }
    Status readFile(const std::wstring& path, std::string& bytes,
                    std::size_t maxBytes = kWholeFile) const override {
        return m_inner.readFile(path, bytes, maxBytes);
    }
    Status writeFile(const std::wstring& path, const std::string& bytes) override {
        return m_inner.writeFile(path, bytes);
    }
    Status replaceFile(const std::wstring& path, const std::string& bytes) override {
        return m_inner.replaceFile(path, bytes);
    }
    std::unique_ptr<NameModel> nameModel() const override { return m_inner.nameModel(); }

private:
    Platform& m_inner;
};

} // namespace tw::test
