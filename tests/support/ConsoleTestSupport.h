#pragma once

// Helpers for the console tests: the record that the stand-in decoder leaves behind, folder
// snapshots and the current folder.

#include "tests/support/TempFolder.h"

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
