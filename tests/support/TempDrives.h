#pragma once

// A drive map over a fresh temporary folder, for tests that touch files.
//
//   tw::test::TempDrives drives;                 // drives C: and D:
//   drives.createFile(L"C:\\MUSIC\\track01.mp3");  // parents are created as needed
//   tw::Platform& platform = drives.platform();
//
// Each drive letter is a subfolder of root() named after its letter ("C", "D", ...). Paths
// given to the helpers are taken literally (no case or short-name resolution). Helpers throw
// std::runtime_error when the file system refuses, which fails the calling test.

#include "TempFolder.h"

#include "platform/posix/PosixPlatform.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace tw::test {

class TempDrives {
public:
    explicit TempDrives(std::initializer_list<wchar_t> letters = {L'C', L'D'})
        : m_root(m_folder.path()) {
        std::vector<tw::posix::DriveRoot> map;
        for (const wchar_t letter : letters) {
            const std::string folder = m_root + "/" + static_cast<char>(letter);
            std::filesystem::create_directories(folder);
            map.push_back({letter, folder});
        }
        m_platform = std::make_unique<tw::posix::PosixPlatform>(std::move(map));
    }

    TempDrives(const TempDrives&) = delete;
    TempDrives& operator=(const TempDrives&) = delete;

    tw::posix::PosixPlatform& platform() { return *m_platform; }

    // The temporary folder that holds one subfolder per drive.
    const std::string& root() const { return m_root; }

    // Native path of a drive path, taken literally: "C:\A\b" -> root()/C/A/b.
    std::string native(const std::wstring& drivePath) const {
        std::string out = m_root + "/" + static_cast<char>(drivePath.at(0) & ~0x20);
        std::string name;
        for (std::size_t i = 2; i <= drivePath.size(); ++i) {
            if (i == drivePath.size() || drivePath[i] == L'\\') {
                if (!name.empty())
                    out += "/" + name;
                name.clear();
            } else {
                name += m_platform->toEightBit(std::wstring(1, drivePath[i]));
            }
        }
        return out;
    }

    // Creates a directory and its parents; returns its native path.
    std::string createDirectory(const std::wstring& drivePath) {
        return createNativeDirectory(relative(native(drivePath)));
    }

    // Creates (or overwrites) a file with the given bytes, creating its parents; returns its
    // native path.
    std::string createFile(const std::wstring& drivePath, const std::string& bytes = {}) {
        return createNativeFile(relative(native(drivePath)), bytes);
    }

    // The same by a native path relative to root(), e.g. "C/MUSIC/x.mp3"; this reaches names
    // a drive path cannot carry (invalid UTF-8, a "\" in the name).
    std::string createNativeDirectory(const std::string& relativePath) {
        const std::string path = m_root + "/" + relativePath;
        std::error_code error;
        std::filesystem::create_directories(path, error);
        if (error)
            throw std::runtime_error("cannot create " + path + ": " + error.message());
        return path;
    }

    std::string createNativeFile(const std::string& relativePath, const std::string& bytes = {}) {
        const std::string path = m_root + "/" + relativePath;
        const std::size_t slash = path.rfind('/');
        std::error_code error;
        std::filesystem::create_directories(path.substr(0, slash), error);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
        out.close();
        if (!out)
            throw std::runtime_error("cannot write " + path);
        return path;
    }

    // Whole content of a native file; empty when it cannot be read.
    static std::string readNative(const std::string& nativePath) { return readFile(nativePath); }

private:
    std::string relative(const std::string& nativePath) const {
        return nativePath.substr(m_root.size() + 1);
    }

    TempFolder m_folder;
    std::string m_root;
    std::unique_ptr<tw::posix::PosixPlatform> m_platform;
};

} // namespace tw::test
