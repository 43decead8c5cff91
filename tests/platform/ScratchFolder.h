#pragma once

// A scratch folder for one test of programs we start, with PATH put back afterwards.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <unistd.h>

namespace tw::test {

namespace fs = std::filesystem;

class ScratchFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tw-scratch-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        if (const char* path = std::getenv("PATH"))
            m_oldPath = path;
        m_hadPath = std::getenv("PATH") != nullptr;
    }
    void TearDown() override {
        if (m_hadPath)
            ::setenv("PATH", m_oldPath.c_str(), 1);
        else
            ::unsetenv("PATH");
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    std::string path(const std::string& name) const { return m_dir + "/" + name; }

    void writeProgram(const std::string& name, const std::string& text, bool executable = true) {
        std::ofstream(path(name)) << text;
        fs::permissions(path(name), executable ? fs::perms::owner_all : fs::perms::owner_read);
    }

    // A detached program cannot be waited for: wait for the file it writes last.
    std::string waitForFile(const std::string& name) {
        for (int i = 0; i < 500 && !fs::exists(path(name)); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream in(path(name));
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string m_dir;
    std::string m_oldPath;
    bool m_hadPath = false;
};

} // namespace tw::test
