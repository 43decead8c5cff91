#pragma once

// Helpers for the console tests: temporary folders and the record that the stand-in decoder
// leaves behind.

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

// A temporary folder, removed with everything in it at the end of the test.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "twconsole.XXXXXX").string();
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
    std::string exe; // the stand-in's own executable
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
        else if (!runs.empty() && line.rfind("exe ", 0) == 0)
            runs.back().exe = line.substr(4);
        else if (!runs.empty() && line.rfind("parent ", 0) == 0)
            runs.back().parent = std::stol(line.substr(7));
        else if (!runs.empty() && line.rfind("arg ", 0) == 0)
            runs.back().args.push_back(line.substr(4));
        else if (!runs.empty() && line.rfind("fd ", 0) == 0)
            runs.back().openFiles.push_back(line.substr(3));
    }
    return runs;
}

} // namespace tw::test
