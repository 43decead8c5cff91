#pragma once

// A scratch folder for one test of programs we start, with PATH put back afterwards.

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

namespace tw::test {

class ScratchFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = std::make_unique<TempFolder>();
        m_dir = m_folder->path();
        if (const char* path = std::getenv("PATH"))
            m_oldPath = path;
        m_hadPath = std::getenv("PATH") != nullptr;
    }
    void TearDown() override {
        if (m_hadPath)
            ::setenv("PATH", m_oldPath.c_str(), 1);
        else
            ::unsetenv("PATH");
        m_folder.reset();
    }

    std::string path(const std::string& name) const { return m_dir + "/" + name; }

    void writeProgram(const std::string& name, const std::string& text, bool executable = true) {
        writeFile(path(name), text);
        std::filesystem::permissions(path(name), executable ? std::filesystem::perms::owner_all
                                                            : std::filesystem::perms::owner_read);
    }

    // A detached program cannot be waited for: wait for the file it writes last.
    std::string waitForFile(const std::string& name) {
        for (int i = 0; i < 500 && !exists(path(name)); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return readFile(path(name));
    }

    std::unique_ptr<TempFolder> m_folder;
    std::string m_dir;
    std::string m_oldPath;
    bool m_hadPath = false;
};

} // namespace tw::test
