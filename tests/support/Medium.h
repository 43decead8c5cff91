#pragma once

// A real removable-medium file system for tests: a fresh exFAT or FAT image mounted through FUSE
// over a folder, as a desktop mounts a USB stick. Where that cannot be done here (no /dev/fuse,
// no loop devices, the tools missing) whyNot() says why, and the test skips with it.
//
//   tw::test::Medium stick(tw::test::Medium::Kind::ExFat, folder, scratch);
//   if (!stick.whyNot().empty()) GTEST_SKIP() << stick.whyNot();

#include "Programs.h"

#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tw::test {

class Medium {
public:
    enum class Kind { ExFat, Fat, ReadOnlyFat };

    // Mounts a fresh 32 MiB image, kept in `scratch`, over `folder` (an empty folder).
    Medium(Kind kind, const std::string& folder, const std::string& scratch) : m_folder(folder) {
        const std::string image = scratch + "/medium.img";
        struct stat st {};
        if (::stat("/dev/fuse", &st) != 0) {
            m_whyNot = "/dev/fuse is missing: no FUSE file system can be mounted here";
            return;
        }
        const bool exfat = kind == Kind::ExFat;
        const char* maker = exfat ? "mkfs.exfat" : "mkfs.vfat";
        const char* mounter = exfat ? "mount.exfat-fuse" : "fusefat";
        for (const char* tool : {maker, mounter})
            if (!onPath(tool) && !onPath(std::string("/usr/sbin/") + tool) &&
                ::access((std::string("/usr/sbin/") + tool).c_str(), X_OK) != 0) {
                m_whyNot = std::string(tool) + " is missing (Debian packages exfatprogs, "
                                               "exfat-fuse, dosfstools, fusefat)";
                return;
            }
        if (!runProgram({"truncate", "-s", "32M", image}).ok ||
            !runProgram({sbin(maker), image}).ok) {
            m_whyNot = std::string("cannot make the image with ") + maker;
            return;
        }
        if (exfat) {
            // As root, exfat-fuse mounts block devices only.
            m_loop = attachLoop(image);
            if (m_loop.empty()) {
                m_whyNot = "no loop device to put the exFAT image on";
                return;
            }
            m_mounted = runProgram({sbin(mounter), m_loop, folder}).ok;
        } else {
            const char* mode = kind == Kind::Fat ? "rw+" : "ro";
            m_mounted = runProgram({mounter, "-o", mode, image, folder}).ok;
        }
        if (!m_mounted)
            m_whyNot = std::string("cannot mount the image with ") + mounter;
    }

    ~Medium() {
        if (m_mounted && !runProgram({"umount", m_folder}).ok)
            (void)runProgram({"fusermount", "-u", "-z", m_folder});
        if (!m_loop.empty())
            (void)runProgram({"losetup", "-d", m_loop});
    }

    Medium(const Medium&) = delete;
    Medium& operator=(const Medium&) = delete;

    // Empty when the medium is mounted.
    const std::string& whyNot() const { return m_whyNot; }

private:
    static std::string sbin(const char* tool) {
        const std::string path = std::string("/usr/sbin/") + tool;
        return ::access(path.c_str(), X_OK) == 0 ? path : tool;
    }

    static std::string attachLoop(const std::string& image) {
        const std::string answer = runAndCatch({"/usr/sbin/losetup", "-f", "--show", image},
                                               image.substr(0, image.rfind('/')))
                                       .out;
        const std::string device = answer.substr(0, answer.find('\n'));
        return device.rfind("/dev/", 0) == 0 ? device : std::string();
    }

    std::string m_folder;
    std::string m_loop;
    std::string m_whyNot;
    bool m_mounted = false;
};

} // namespace tw::test
