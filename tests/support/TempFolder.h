#pragma once

// A fresh temporary folder that goes away with everything in it, and the few file helpers
// tests use on native paths.

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace tw::test {

class TempFolder {
public:
    TempFolder() {
        // Eight letters and digits make a valid 8.3 name, its own short name: what a script
        // says about this folder does not change as other tests' folders come and go.
        std::string pattern = (std::filesystem::temp_directory_path() / "twXXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary folder: " +
                                     std::string(std::strerror(errno)));
        m_path = pattern;
    }
    ~TempFolder() { removeTree(m_path); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

    // Removes everything, also below folders a test has made unreadable; never follows a link.
    static void removeTree(const std::string& path) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0)
            return;
        if (S_ISDIR(st.st_mode)) {
            ::chmod(path.c_str(), 0700);
            std::error_code error;
            std::vector<std::string> children;
            for (const auto& entry : std::filesystem::directory_iterator(path, error))
                children.push_back(entry.path().string());
            for (const std::string& child : children)
                removeTree(child);
            ::rmdir(path.c_str());
        } else {
            ::unlink(path.c_str());
        }
    }

private:
    std::string m_path;
};

// Writes a file (creating its folders), executable for its owner when asked.
inline void writeFile(const std::string& path, const std::string& bytes, bool executable = false) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    if (executable)
        ::chmod(path.c_str(), 0755);
}

// Whole content of a file; empty when it cannot be read.
inline std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

// True when anything, a dangling link too, has this name.
inline bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

} // namespace tw::test
