#pragma once

// Helpers for the console tests: temporary folders, a small drive map over them, and the
// record that the stand-in decoder leaves behind.

#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw::test {

namespace fs = std::filesystem;

inline std::string utf8(const std::wstring& text) {
    std::string out;
    for (wchar_t wc : text) {
        auto c = static_cast<char32_t>(wc);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

inline std::wstring wide(const std::string& bytes) {
    std::wstring out;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const std::size_t extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
        char32_t cp = extra ? (b & (0x3F >> extra)) : b;
        for (std::size_t k = 1; k <= extra && i + k < bytes.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
        out.push_back(static_cast<wchar_t>(cp));
        i += extra + 1;
    }
    return out;
}

// A temporary folder, removed with everything in it at the end of the test.
class TempFolder {
public:
    TempFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/twconsole.XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (!::mkdtemp(buffer.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = buffer.data();
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

inline void writeFile(const std::string& path, const std::string& bytes, bool executable = false) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    if (executable)
        ::chmod(path.c_str(), 0755);
}

inline std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

inline bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Every file below a folder (relative path -> content), to see that nothing else changed.
inline std::map<std::string, std::string> snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), folder).string()] = readFile(entry.path().string());
    return files;
}

// The process's current directory for the lifetime of the object.
class ScopedCurrentDirectory {
public:
    explicit ScopedCurrentDirectory(const std::string& path) : m_saved(fs::current_path()) {
        fs::current_path(path);
    }
    ~ScopedCurrentDirectory() { fs::current_path(m_saved); }

private:
    fs::path m_saved;
};

// What the stand-in decoder saw on one run.
struct DecoderRun {
    std::string cwd;
    long parent = 0;
    std::vector<std::string> args;
    std::vector<std::string> openFiles; // what its open descriptors lead to
};

inline std::vector<DecoderRun> readDecoderLog(const std::string& path) {
    std::vector<DecoderRun> runs;
    std::istringstream log(readFile(path));
    std::string line;
    while (std::getline(log, line)) {
        if (line == "run")
            runs.emplace_back();
        else if (!runs.empty() && line.rfind("cwd ", 0) == 0)
            runs.back().cwd = line.substr(4);
        else if (!runs.empty() && line.rfind("parent ", 0) == 0)
            runs.back().parent = std::stol(line.substr(7));
        else if (!runs.empty() && line.rfind("arg ", 0) == 0)
            runs.back().args.push_back(line.substr(4));
        else if (!runs.empty() && line.rfind("fd ", 0) == 0)
            runs.back().openFiles.push_back(line.substr(3));
    }
    return runs;
}

// A drive map over temporary folders that resolves names exactly, then without regard to case,
// then through aliases the test declares: enough for the interpreter's own tests.
class FakeDrives : public Platform {
public:
    void addDrive(wchar_t letter, const std::string& root) { m_roots[letter] = root; }
    void addAlias(const std::string& folder, const std::string& alias, const std::string& name) {
        m_aliases[folder + "/" + alias] = name;
    }

    std::vector<Drive> drives() const override { return {}; }
    std::string nativePath(const std::wstring& drivePath) const override {
        if (drivePath.size() < 2 || drivePath[1] != L':')
            return {};
        const auto root = m_roots.find(static_cast<wchar_t>(std::towupper(drivePath[0])));
        if (root == m_roots.end())
            return {};
        std::string path = root->second;
        std::wstringstream rest(drivePath.substr(2));
        std::wstring part;
        while (std::getline(rest, part, L'\\')) {
            if (part.empty())
                continue;
            path += "/" + resolve(path, utf8(part));
        }
        return path;
    }
    std::wstring drivePath(const std::string& native) const override {
        for (const auto& [letter, root] : m_roots) {
            if (native == root)
                return std::wstring(1, letter) + L":\\";
            if (native.rfind(root + "/", 0) == 0) {
                std::wstring rest = wide(native.substr(root.size()));
                std::replace(rest.begin(), rest.end(), L'/', L'\\');
                return std::wstring(1, letter) + L":" + rest;
            }
        }
        return {};
    }
    bool isDirectory(const std::wstring&) const override { return false; }
    bool exists(const std::wstring&) const override { return false; }
    bool sameEntry(const std::wstring&, const std::wstring&) const override { return false; }
    std::uint32_t GetShortPathNameA(const char*, char*, std::uint32_t) const override { return 0; }
    Status listDirectories(const std::wstring&, std::vector<std::wstring>&) const override {
        return Status::failure(L"unused");
    }
    Status listFiles(const std::wstring&, const std::wstring&,
                     std::vector<std::wstring>&) const override {
        return Status::failure(L"unused");
    }
    std::wstring currentDirectory() const override {
        return drivePath(fs::current_path().string());
    }
    Status setCurrentDirectory(const std::wstring&) override { return Status::failure(L"unused"); }
    std::wstring programDirectory() const override { return {}; }
    std::string toEightBit(const std::wstring& text) const override { return utf8(text); }
    std::wstring fromEightBit(const std::string& bytes) const override { return wide(bytes); }
    Status readFile(const std::wstring&, std::string&) const override {
        return Status::failure(L"unused");
    }
    Status writeFile(const std::wstring&, const std::string&) override {
        return Status::failure(L"unused");
    }
    Status replaceFile(const std::wstring&, const std::string&) override {
        return Status::failure(L"unused");
    }
    Status startBatch(const std::wstring&, const std::wstring&, bool) override {
        return Status::failure(L"unused");
    }
    Status openAddress(const std::wstring&) override { return Status::failure(L"unused"); }

private:
    std::string resolve(const std::string& folder, const std::string& name) const {
        std::vector<std::string> caseless;
        std::error_code error;
        for (fs::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            const std::string candidate = it->path().filename().string();
            if (candidate == name)
                return name;
            if (lower(candidate) == lower(name))
                caseless.push_back(candidate);
        }
        if (caseless.size() == 1)
            return caseless.front();
        const auto alias = m_aliases.find(folder + "/" + name);
        return alias != m_aliases.end() ? alias->second : name;
    }
    static std::string lower(std::string s) {
        std::transform(s.begin(), s.end(), s.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return s;
    }

    std::map<wchar_t, std::string> m_roots;
    std::map<std::string, std::string> m_aliases;
};

} // namespace tw::test
