#include "Output.h"
#include "Decoder.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>

namespace tw::decoder {

namespace {

// The partial output of the decode now running, for a stopping signal to take away: its folder,
// its name there and its file. Changed only while every signal is held back, so a handler never
// sees half a change.
volatile std::sig_atomic_t g_partialFolder = -1;
char g_partialName[16];
dev_t g_partialDevice = 0;
ino_t g_partialInode = 0;

// Holds back every signal for the few calls that make or take away the partial file.
class SignalsHeld {
public:
    SignalsHeld() {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, &m_old);
    }
    ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &m_old, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t m_old;
};

// A name of its own for the partial file: short, so any legal output name leaves room for it,
// and hidden, so no listing shows it. Creating it exclusively is what makes it ours; the
// random letters only keep tries few.
std::string partialName() {
    static constexpr char letters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::uint64_t bits = 0;
    if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits)) {
        static std::uint64_t counter = 0;
        bits = static_cast<std::uint64_t>(
                   std::chrono::steady_clock::now().time_since_epoch().count()) ^
               (static_cast<std::uint64_t>(::getpid()) << 40) ^ (++counter * 0x9E3779B97F4A7C15u);
    }
    std::string name = ".l3dec-";
    for (int i = 0; i < 6; ++i, bits /= sizeof letters - 1)
        name += letters[bits % (sizeof letters - 1)];
    return name;
}

// Why an existing output is not replaced, or nullptr. Only a regular file is: no link is
// written through or replaced, and no device, FIFO, socket or folder is touched.
const char* refusal(const struct stat& st) {
    if (S_ISREG(st.st_mode))
        return nullptr;
    if (S_ISLNK(st.st_mode))
        return "it is a symbolic link, not a regular file";
    if (S_ISDIR(st.st_mode))
        return "it is a folder, not a regular file";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return "it is a device, not a regular file";
    if (S_ISFIFO(st.st_mode))
        return "it is a FIFO, not a regular file";
    if (S_ISSOCK(st.st_mode))
        return "it is a socket, not a regular file";
    return "it is not a regular file";
}

} // namespace

Block newBlock(std::size_t size) {
    return Block(static_cast<unsigned char*>(::operator new[](size, std::align_val_t{64})));
}

OutputFile::~OutputFile() {
    discard();
    if (m_folder >= 0)
        ::close(m_folder);
}

bool OutputFile::prepare(const std::string& path, const InputFile& input, std::string& message) {
    m_path = path;
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    m_name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (m_name.empty()) {
        message = "cannot create " + path + ": " + errnoText(EISDIR);
        return false;
    }
    // A folder we may write but not read is still one to write in.
    m_folder = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_folder < 0) {
        message = "cannot create " + path + ": " + errnoText(errno);
        return false;
    }
    return mayReplace(input, message);
}

bool OutputFile::create(std::string& message) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = partialName();
        SignalsHeld held;
        m_fd = ::openat(m_folder, name.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (m_fd >= 0) {
            struct stat st {};
            ::fstat(m_fd, &st);
            m_partial = name;
            m_device = g_partialDevice = st.st_dev;
            m_inode = g_partialInode = st.st_ino;
            std::snprintf(g_partialName, sizeof g_partialName, "%s", name.c_str());
            g_partialFolder = m_folder;
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    message = "cannot create " + m_path + ": " + errnoText(errno);
    return false;
}

bool OutputFile::close() {
    if (m_fd >= 0 && ::close(m_fd) != 0 && m_error == 0)
        m_error = errno;
    m_fd = -1;
    return m_error == 0;
}

bool OutputFile::land(const InputFile& input, std::string& message) {
    // Looked at again: during a long decode the name may have become a link, a FIFO or a
    // device, and that must stay as it is.
    if (!mayReplace(input, message))
        return false;
    {
        SignalsHeld held;
        if (::renameat(m_folder, m_partial.c_str(), m_folder, m_name.c_str()) != 0) {
            message = "cannot create " + m_path + ": " + errnoText(errno);
            return false;
        }
        m_partial.clear();
        g_partialFolder = -1;
    }
    // Another run writing the same output may rename its file over ours at the same
    // moment. The output is ours only if the name still holds our file after the rename.
    // A lock would not do: it binds only runs that take it, and any other program may
    // rename over the name as well, while a run waiting for it holds its script up.
    struct stat st {};
    if (::fstatat(m_folder, m_name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        st.st_dev != m_device || st.st_ino != m_inode) {
        message = m_path + " was replaced by another program as it was written";
        return false;
    }
    return true;
}

void OutputFile::discard() {
    close();
    if (m_partial.empty())
        return;
    SignalsHeld held;
    removePartialOutput();
    m_partial.clear();
    g_partialFolder = -1;
}

int OutputFile::writeAt(const unsigned char* data, std::size_t count, off_t offset) const {
    while (count > 0) {
        const ssize_t n = ::pwrite(m_fd, data, count, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        data += n;
        offset += n;
        count -= static_cast<std::size_t>(n);
    }
    return 0;
}

bool OutputFile::truncate(off_t size) {
    if (::ftruncate(m_fd, size) == 0)
        return true;
    m_error = errno;
    return false;
}

bool OutputFile::append(const unsigned char* data, std::size_t count) {
    return write(reinterpret_cast<const char*>(data), count) == count;
}

bool OutputFile::mayReplace(const InputFile& input, std::string& message) const {
    struct stat st {};
    if (::fstatat(m_folder, m_name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return true;
        message = "cannot create " + m_path + ": " + errnoText(errno);
        return false;
    }
    const char* why = input.isFile(st) ? "it is the input itself" : refusal(st);
    if (why)
        message = "cannot replace " + m_path + ": " + why;
    return why == nullptr;
}

std::size_t OutputFile::write(const char* data, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(m_fd, data + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (m_error == 0)
                m_error = n < 0 ? errno : ENOSPC;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void removePartialOutput() noexcept {
    const int folder = g_partialFolder;
    if (folder < 0)
        return;
    // Only the file made here: whatever else has taken its name meanwhile stays.
    struct stat st {};
    if (::fstatat(folder, g_partialName, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        st.st_dev == g_partialDevice && st.st_ino == g_partialInode)
        ::unlinkat(folder, g_partialName, 0);
}

} // namespace tw::decoder
