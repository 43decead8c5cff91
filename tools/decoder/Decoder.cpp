#include "Decoder.h"
#include "LibraryMessages.h"
#include "Slicing.h"
#include "SoundHeader.h"

#include <mpg123.h>

#include <fcntl.h>
#include <pthread.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

namespace tw::decoder {

namespace {

// Switches are read in any case.
std::string inSwitchCase(const std::string& given) {
    std::string arg = given;
    if (arg[0] == '-')
        std::transform(arg.begin(), arg.end(), arg.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return arg;
}

// The output format a switch names, or nothing.
std::optional<Format> formatSwitch(const std::string& arg) {
    struct Switch {
        const char* text;
        Format format;
    };
    static constexpr Switch formats[] = {{"-wav", Format::Wav},
                                         {"-snd", Format::Snd},
                                         {"-aif", Format::Aiff},
                                         {"-aic", Format::Aifc}};
    const auto format = std::find_if(std::begin(formats), std::end(formats),
                                     [&](const Switch& s) { return arg == s.text; });
    if (format == std::end(formats))
        return std::nullopt;
    return format->format;
}

// The count of "-j 4" or "-j4" at `args[i]`, moving `i` past a count of its own; 0 when there
// is no count from 1 to 256.
int threadCount(const std::string& arg, const std::vector<std::string>& args, std::size_t& i) {
    const std::string count = arg.size() > 2        ? arg.substr(2)
                              : i + 1 < args.size() ? args[++i]
                                                    : std::string();
    char* end = nullptr;
    const long n = std::strtol(count.c_str(), &end, 10);
    if (count.empty() || *end || n < 1 || n > 256)
        return 0;
    return static_cast<int>(n);
}

} // namespace

bool parseArguments(const std::vector<std::string>& args, Options& options, std::string& error) {
    std::vector<std::string> files;
    bool formatGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        // An empty word is no argument.
        if (args[i].empty())
            continue;
        const std::string arg = inSwitchCase(args[i]);
        if (const auto format = formatSwitch(arg)) {
            if (formatGiven && options.format != *format) {
                error = "more than one output format given";
                return false;
            }
            options.format = *format;
            formatGiven = true;
        } else if (arg == "-sa") {
            options.searchAgain = true;
        } else if (arg == "-ign") {
            options.ignoreErrors = true;
        } else if (arg.rfind("-j", 0) == 0) {
            const int threads = threadCount(arg, args, i);
            if (threads == 0) {
                error = "-j needs a number of threads from 1 to 256";
                return false;
            }
            options.threads = threads;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown switch " + args[i];
            return false;
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2) {
        error = files.size() < 2 ? "an input and an output file are needed" : "too many file names";
        return false;
    }
    options.input = files[0];
    options.output = files[1];
    return true;
}

std::string describe(Format format) {
    switch (format) {
    case Format::Wav:
        return "WAV, 16-bit PCM";
    case Format::Snd:
        return "SND, 16-bit PCM";
    case Format::Aiff:
        return "AIFF, 16-bit PCM";
    case Format::Aifc:
        return "AIFC, 16-bit PCM";
    }
    return {};
}

namespace {

// The input is read in blocks of this size. Each block is memory the run touches for the first
// time, and a page met for the first time costs more than the few reads a larger block saves:
// 256 KiB blocks cost a two-thread run of a one-minute file a tenth more processor time,
// measured.
constexpr std::size_t kInputBlock = 64 * 1024;
// Decoded audio collects here and reaches the disk in writes of this size: small enough to stay
// in the cache and for a short clip to touch few pages; 1 MiB measured no faster on long files.
constexpr std::size_t kOutputBlock = 64 * 1024;
// How many MPEG frames pass between two progress reports (about a second of audio).
constexpr int kFramesPerReport = 40;
// The most progress told while decoding: the whole (1.0) is told once, when the output is
// complete, however the reports fall on the last frames.
constexpr double kBeforeTheEnd = 0.999;
// More frames than this in a row in another format are another stream, not a false frame.
constexpr int kMaxForeignFrames = 8;

// The byte order the container keeps its samples in; the decoder delivers them so, and they
// go to the file as they are.
bool bigEndianSamples(Format format) {
    return format == Format::Snd || format == Format::Aiff;
}

std::string errnoText(int error) {
    return std::strerror(error);
}

// The input file, opened once. Each decoder handle reads it through an InputReader of its own.
class InputFile {
public:
    ~InputFile() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool open(const std::string& path) {
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_fd < 0) {
            m_error = errno;
            return false;
        }
        struct stat st {};
        if (::fstat(m_fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            m_error = EISDIR;
            return false;
        }
        m_regular = S_ISREG(st.st_mode);
        m_size = m_regular ? st.st_size : 0;
        m_device = st.st_dev;
        m_inode = st.st_ino;
        return true;
    }
    int fd() const { return m_fd; }
    int error() const { return m_error; }
    // A regular file can be read at any offset by several readers at once.
    bool regular() const { return m_regular; }
    off_t size() const { return m_size; }
    bool isFile(const struct stat& other) const {
        return m_device == other.st_dev && m_inode == other.st_ino;
    }

private:
    int m_fd = -1;
    int m_error = 0;
    bool m_regular = false;
    off_t m_size = 0;
    dev_t m_device = 0;
    ino_t m_inode = 0;
};

// One handle's way through the input, read in large blocks: the library asks for a header and
// then a frame at a time. A regular file is read at the reader's own offset, so readers share
// the file without moving each other; anything else is read where it stands.
class InputReader {
public:
    explicit InputReader(const InputFile& file)
        : m_fd(file.fd()), m_positional(file.regular()),
          // A small file gets a buffer of its own size, not a large block.
          m_capacity(file.regular() && file.size() < static_cast<off_t>(kInputBlock)
                         ? std::max<std::size_t>(static_cast<std::size_t>(file.size()), 4096)
                         : kInputBlock),
          m_size(file.size()), m_buffer(new unsigned char[m_capacity]) {}

    int error() const { return m_error; }
    off_t position() const { return m_start + static_cast<off_t>(m_next); }

    static mpg123_ssize_t read(void* handle, void* data, size_t count) {
        return static_cast<InputReader*>(handle)->readInto(static_cast<unsigned char*>(data),
                                                           count);
    }
    static off_t seek(void* handle, off_t offset, int whence) {
        return static_cast<InputReader*>(handle)->seekTo(offset, whence);
    }

private:
    mpg123_ssize_t readInto(unsigned char* data, std::size_t count) {
        std::size_t done = 0;
        while (done < count) {
            if (m_next == m_filled && !refill())
                return m_error && done == 0 ? -1 : static_cast<mpg123_ssize_t>(done);
            const std::size_t n = std::min(count - done, m_filled - m_next);
            std::memcpy(data + done, m_buffer.get() + m_next, n);
            m_next += n;
            done += n;
        }
        return static_cast<mpg123_ssize_t>(done);
    }
    bool refill() {
        m_start += static_cast<off_t>(m_filled);
        m_next = m_filled = 0;
        for (;;) {
            const ssize_t n = m_positional ? ::pread(m_fd, m_buffer.get(), m_capacity, m_start)
                                           : ::read(m_fd, m_buffer.get(), m_capacity);
            if (n > 0) {
                m_filled = static_cast<std::size_t>(n);
                return true;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                m_error = errno;
            return false;
        }
    }
    off_t seekTo(off_t offset, int whence) {
        off_t target = offset;
        if (whence == SEEK_CUR)
            target += position();
        else if (whence == SEEK_END)
            target += m_size;
        if (target < 0 || (whence == SEEK_END && m_size == 0)) {
            errno = EINVAL;
            return -1;
        }
        if (target >= m_start && target <= m_start + static_cast<off_t>(m_filled)) {
            m_next = static_cast<std::size_t>(target - m_start);
            return target;
        }
        if (!m_positional && ::lseek(m_fd, target, SEEK_SET) < 0)
            return -1;
        m_start = target;
        m_next = m_filled = 0;
        return target;
    }

    int m_fd;
    bool m_positional;
    std::size_t m_capacity;
    off_t m_size;
    int m_error = 0;
    std::unique_ptr<unsigned char[]> m_buffer;
    off_t m_start = 0;      // file offset of m_buffer[0]
    std::size_t m_next = 0; // next byte to hand out
    std::size_t m_filled = 0;
};

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

// The output: a partial file under a name of its own in the output's folder, renamed to the
// output's name once complete. The folder is held open, so both names stay in the same folder
// whatever happens to its path meanwhile. Every write comes
// through here, so a full disk is noticed wherever it strikes, the header included.
class OutputFile {
public:
    ~OutputFile() {
        discard();
        if (m_folder >= 0)
            ::close(m_folder);
    }

    // Opens the output's folder and looks at what the output's name holds now.
    bool prepare(const std::string& path, const InputFile& input, std::string& message) {
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

    // Creates the partial file, never over anything that is there.
    bool create(std::string& message) {
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

    // Closes the file; false when anything written was lost.
    bool close() {
        if (m_fd >= 0 && ::close(m_fd) != 0 && m_error == 0)
            m_error = errno;
        m_fd = -1;
        return m_error == 0;
    }
    int error() const { return m_error; }

    // Gives the complete file the output's name.
    bool land(const InputFile& input, std::string& message) {
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

    // Takes the partial file away, if it is still there and still ours.
    void discard() {
        close();
        if (m_partial.empty())
            return;
        SignalsHeld held;
        removePartialOutput();
        m_partial.clear();
        g_partialFolder = -1;
    }

    // Writes at `offset` without moving the file position, from any thread: pieces decoded on
    // other threads go straight to their place. 0, or why it failed.
    int writeAt(const unsigned char* data, std::size_t count, off_t offset) const {
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
    // Drops whatever lies past `size`, the position staying where it is.
    bool truncate(off_t size) {
        if (::ftruncate(m_fd, size) == 0)
            return true;
        m_error = errno;
        return false;
    }
    // Writes at the current position; false when not all of it was written.
    bool append(const unsigned char* data, std::size_t count) {
        return write(reinterpret_cast<const char*>(data), count) == count;
    }

private:
    // Nothing but a regular file, and not the input, may be replaced.
    bool mayReplace(const InputFile& input, std::string& message) const {
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

    std::size_t write(const char* data, std::size_t count) {
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

    std::string m_path;    // as given
    std::string m_name;    // its last part
    int m_folder = -1;     // the folder it is in
    std::string m_partial; // the partial file's name there, while there is one
    dev_t m_device = 0;    // and its file
    ino_t m_inode = 0;
    int m_fd = -1;
    int m_error = 0;
};

struct HandleDeleter {
    void operator()(mpg123_handle* h) const {
        mpg123_close(h);
        mpg123_delete(h);
    }
};

struct AlignedDeleter {
    void operator()(unsigned char* p) const { ::operator delete[](p, std::align_val_t{64}); }
};

std::string describeStream(mpg123_handle* mh, long rate) {
    mpg123_frameinfo2 fi{};
    if (mpg123_info2(mh, &fi) != MPG123_OK)
        return "MPEG audio";
    static const char* const versions[] = {"MPEG-1", "MPEG-2", "MPEG-2.5"};
    static const char* const layers[] = {"", "Layer I", "Layer II", "Layer III"};
    static const char* const modes[] = {"stereo", "joint stereo", "dual channel", "mono"};
    char text[160];
    const char* version = fi.version >= 0 && fi.version < 3 ? versions[fi.version] : "MPEG";
    const char* layer = fi.layer >= 1 && fi.layer <= 3 ? layers[fi.layer] : "";
    const char* mode = fi.mode >= 0 && fi.mode < 4 ? modes[fi.mode] : "";
    if (fi.vbr == MPG123_CBR)
        std::snprintf(text, sizeof text, "%s %s, %d kbit/s, %ld Hz, %s", version, layer, fi.bitrate,
                      rate, mode);
    else
        std::snprintf(text, sizeof text, "%s %s, variable bit rate, %ld Hz, %s", version, layer,
                      rate, mode);
    return text;
}

using Handle = std::unique_ptr<mpg123_handle, HandleDeleter>;

// A handle set up as every decode of `options` needs it, reading through `reader`. Nothing on
// failure, with the library's reason.
Handle openHandle(const Options& options, InputReader& reader, std::string& why) {
    int err = MPG123_OK;
    Handle mh(mpg123_new(nullptr, &err));
    if (!mh) {
        why = std::string("cannot start the MPEG decoder: ") + mpg123_plain_strerror(err);
        return nullptr;
    }
    // Without -sa the library's own limit on the search for the next frame stays in force.
    if (options.searchAgain)
        mpg123_param2(mh.get(), MPG123_RESYNC_LIMIT, -1, 0.0);
    // Under -ign the library keeps its lines to itself; else LibraryMessages hears them.
    if (options.ignoreErrors)
        mpg123_param2(mh.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    // readTags reads the tags with a handle of its own; this one passes over them unread, so
    // the library says nothing about bad ones and the warning stays one line.
    mpg123_param2(mh.get(), MPG123_ADD_FLAGS, MPG123_SKIP_ID3V2, 0.0);
    if (bigEndianSamples(options.format))
        mpg123_param2(mh.get(), MPG123_ADD_FLAGS, MPG123_FORCE_ENDIAN | MPG123_BIG_ENDIAN, 0.0);
    // Every rate and channel count, always as 16-bit samples.
    mpg123_format_none(mh.get());
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i)
        mpg123_format(mh.get(), rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_replace_reader_handle(mh.get(), &InputReader::read, &InputReader::seek, nullptr) !=
            MPG123_OK ||
        mpg123_open_handle(mh.get(), &reader) != MPG123_OK) {
        why = mpg123_strerror(mh.get());
        return nullptr;
    }
    return mh;
}

using Block = std::unique_ptr<unsigned char, AlignedDeleter>;

Block newBlock(std::size_t size) {
    return Block(static_cast<unsigned char*>(::operator new[](size, std::align_val_t{64})));
}

// Decoding in pieces. A piece's handle starts kWarmUpFrames before the piece, at a frame number
// divisible by kAlign, and its output up to the piece is thrown away. MPEG-1 Layer III carries
// state from frame to frame only in the bit reservoir (at most 511 bytes back, fewer than six
// of the shortest frames), the overlap of the last granule and the synthesis filter's last 16
// blocks; all of it is rebuilt within the warm-up. The synthesis filter's place in its ring
// buffer, which the rounding of its sums follows, depends on the number of blocks since the
// start: starting at a multiple of kAlign puts it where one decode from the start has it.
// Every frame is checked to be the one expected at the byte the scan found, and the last
// frames of each warm-up to equal those of the piece before; any doubt and the whole stream is
// decoded in one piece after all. MPEG-2 and 2.5 showed differences of one in the last bit
// whatever the warm-up, so they are never cut.
constexpr off_t kAlign = 16;
constexpr off_t kWarmUpFrames = 16; // a multiple of kAlign
constexpr off_t kCheckFrames = 4;
// Frames decoded in one go before the pieces start: the gapless trim of the start falls in
// them, and every later frame gives a whole frame of samples (checked), so each piece knows
// where in the output its samples go.
constexpr off_t kLeadFrames = 8;
// The fewest bytes an MPEG-1 Layer III frame has (32 kbit/s at 48 kHz).
constexpr off_t kShortestFrame = 96;

struct Piece {
    off_t first = 0; // its frames by the library's numbers: [first, end)
    off_t end = 0;
    off_t writeAt = 0; // where its first sample goes in the output
    bool last = false; // decodes on to the end of the stream
    // What came of it.
    bool same = true; // false: it cannot show that it decoded what one piece would
    int writeError = 0;
    long long bytes = 0;
    std::vector<unsigned char> warmTail; // output of its last kCheckFrames warm-up frames
    std::vector<unsigned char> ownTail;  // output of its own last kCheckFrames frames
};

struct PieceWork {
    const Options& options;
    const InputFile& input;
    const OutputFile& output;
    std::vector<off_t> frames; // byte offset of each frame, by the library's number
    long rate;
    int channels;
    std::size_t frameBytes; // the output of one whole frame
    std::atomic<bool> stop{false};
    std::atomic<long long> framesDone{0};
};

// A handle of the piece's own, at the first frame of its warm-up; nothing when it cannot get
// there.
Handle handleAtWarmUp(const Piece& piece, const PieceWork& work, InputReader& reader) {
    std::string why;
    Handle own = openHandle(work.options, reader, why);
    const off_t start = piece.first - kWarmUpFrames;
    // Where every kAlign-th frame lies, so the seek goes straight there instead of reading
    // through every frame before.
    std::vector<off_t> index;
    for (off_t frame = 0; frame <= start; frame += kAlign)
        index.push_back(work.frames[static_cast<std::size_t>(frame)]);
    if (!own || mpg123_set_index(own.get(), index.data(), kAlign, index.size()) != MPG123_OK ||
        mpg123_seek_frame(own.get(), start, SEEK_SET) != start)
        return nullptr;
    return own;
}

// The handle decodes in the rate and channels the stream began with.
bool inStreamFormat(const PieceWork& work, mpg123_handle* mh) {
    long r = 0;
    int c = 0, e = 0;
    mpg123_getformat(mh, &r, &c, &e);
    return r == work.rate && c == work.channels;
}

// One piece's decode: its handle, the frame it expects next, and a block of its output on the
// way to the piece's place in the file.
class PieceDecode {
public:
    PieceDecode(Piece& piece, PieceWork& work, mpg123_handle* mh, off_t next)
        : m_piece(piece), m_work(work), m_mh(mh), m_next(next),
          m_blockSize(std::max<std::size_t>(kOutputBlock, 2 * work.frameBytes)),
          m_block(newBlock(m_blockSize)) {}

    void run() {
        while (!m_work.stop.load(std::memory_order_relaxed) && decodeFrame()) {
        }
        flush();
    }

private:
    // Decodes the next frame; false when the piece is done, in doubt, or cannot be written.
    bool decodeFrame() {
        if (m_blockSize - m_filled < m_work.frameBytes && !flush())
            return false;
        mpg123_replace_buffer(m_mh, m_block.get() + m_filled, m_blockSize - m_filled);
        off_t number = 0;
        unsigned char* audio = nullptr;
        size_t bytes = 0;
        const long heard = LibraryMessages::heardOnThisThread();
        const int rc = mpg123_decode_frame(m_mh, &number, &audio, &bytes);
        // A frame the library complains of may be decoded in part only, which moves the
        // rounding of every later frame: a piece cannot show that it matches one thread then.
        // (The warm-up complains of the bit reservoir it has not seen, which is no damage.)
        if (m_next >= m_piece.first && heard != LibraryMessages::heardOnThisThread()) {
            m_piece.same = false;
            return false;
        }
        if (bytes > 0 && !take(number, audio, bytes))
            return false;
        if (rc == MPG123_DONE) {
            m_piece.same = m_piece.same && m_piece.last;
            return false;
        }
        if (rc == MPG123_OK || (rc == MPG123_NEW_FORMAT && inStreamFormat(m_work, m_mh)))
            return true;
        m_piece.same = false;
        return false;
    }

    // A warm-up frame counts only for the check; a frame of the piece goes into the block.
    // False when the frame is not the one expected, or ends the piece.
    bool take(off_t number, unsigned char* audio, std::size_t bytes) {
        // Only the very frames expected, one after another, where the scan found them.
        if (number != m_next || number >= static_cast<off_t>(m_work.frames.size()) ||
            mpg123_framepos(m_mh) != m_work.frames[static_cast<std::size_t>(number)]) {
            m_piece.same = false;
            return false;
        }
        ++m_next;
        if (number < m_piece.first) {
            if (number >= m_piece.first - kCheckFrames)
                m_piece.warmTail.insert(m_piece.warmTail.end(), audio, audio + bytes);
            return true;
        }
        // Only the end of the stream may be trimmed: every other frame is whole.
        if (!m_piece.last && bytes != m_work.frameBytes) {
            m_piece.same = false;
            return false;
        }
        if (!m_piece.last && number >= m_piece.end - kCheckFrames)
            m_piece.ownTail.insert(m_piece.ownTail.end(), audio, audio + bytes);
        if (audio != m_block.get() + m_filled)
            std::memmove(m_block.get() + m_filled, audio, bytes);
        m_filled += bytes;
        m_work.framesDone.fetch_add(1, std::memory_order_relaxed);
        return m_piece.last || m_next != m_piece.end;
    }

    bool flush() {
        if (m_filled && m_piece.writeError == 0)
            m_piece.writeError =
                m_work.output.writeAt(m_block.get(), m_filled, m_piece.writeAt + m_piece.bytes);
        m_piece.bytes += static_cast<long long>(m_filled);
        m_filled = 0;
        return m_piece.writeError == 0;
    }

    Piece& m_piece;
    PieceWork& m_work;
    mpg123_handle* m_mh;
    off_t m_next;
    std::size_t m_blockSize;
    Block m_block;
    std::size_t m_filled = 0;
};

// Decodes one piece into its place in the output. `mh` is the handle that decoded the lead,
// for the first piece; every other piece opens a handle of its own.
void decodePiece(Piece& piece, PieceWork& work, mpg123_handle* mh) {
    if (mh) {
        PieceDecode(piece, work, mh, piece.first).run();
        return;
    }
    InputReader reader(work.input);
    const Handle own = handleAtWarmUp(piece, work, reader);
    if (!own) {
        piece.same = false;
        return;
    }
    PieceDecode(piece, work, own.get(), piece.first - kWarmUpFrames).run();
}

// Where the pieces of a stream of `frames` frames begin: one per thread, each of at least
// `minFrames`, at multiples of kAlign. Fewer than two: the stream stays whole.
std::vector<off_t> pieceStarts(off_t frames, int threads, int minFrames) {
    const off_t count = std::min<off_t>(threads, frames / std::max(minFrames, 1));
    std::vector<off_t> starts{0};
    for (off_t k = 1; k < count; ++k) {
        const off_t start = frames * k / count / kAlign * kAlign;
        if (start >= std::max(starts.back() + kAlign, 2 * kAlign) && start + kAlign <= frames)
            starts.push_back(start);
    }
    return starts;
}

enum class Pieces { Written, NotSame, Failed };

struct PiecesResult {
    Pieces result = Pieces::NotSame;
    std::string message; // why, when Failed
    long long bytes = 0; // of samples written, when Written
    int threads = 1;
};

// The lead: the stream's first kLeadFrames frames, decoded in one go like any decode from the
// start.
struct Lead {
    Block samples;
    std::size_t bytes = 0;
    off_t last = -1;  // the library's number of its last frame
    off_t shift = -1; // frames of the scan the library does not number (an info frame)
};

// Decodes the lead with `mh`; false when a frame of it is not where the scan found one, or the
// numbers do not follow the scan's, or the format changes.
bool decodeLead(const PieceWork& work, const std::vector<off_t>& scanned, mpg123_handle* mh,
                Lead& lead) {
    const std::size_t capacity = static_cast<std::size_t>(kLeadFrames) * work.frameBytes + 64;
    lead.samples = newBlock(capacity);
    while (lead.last < kLeadFrames - 1) {
        mpg123_replace_buffer(mh, lead.samples.get() + lead.bytes, capacity - lead.bytes);
        unsigned char* audio = nullptr;
        size_t bytes = 0;
        const long heard = LibraryMessages::heardOnThisThread();
        const int rc = mpg123_decode_frame(mh, &lead.last, &audio, &bytes);
        if (heard != LibraryMessages::heardOnThisThread())
            return false; // damage: see PieceDecode
        if (bytes > 0) {
            const auto at = std::lower_bound(scanned.begin(), scanned.end(), mpg123_framepos(mh));
            if (at == scanned.end() || *at != mpg123_framepos(mh))
                return false;
            const off_t index = at - scanned.begin();
            if ((lead.shift >= 0 && index - lead.last != lead.shift) || index < lead.last)
                return false;
            lead.shift = index - lead.last;
            if (audio != lead.samples.get() + lead.bytes)
                std::memmove(lead.samples.get() + lead.bytes, audio, bytes);
            lead.bytes += bytes;
        }
        if (rc != MPG123_OK && (rc != MPG123_NEW_FORMAT || !inStreamFormat(work, mh)))
            return false;
    }
    return true;
}

// The pieces that begin at `starts`, the first one after the lead; each writes from its place
// after the lead's samples, which end at `leadEnd` in the output.
std::vector<Piece> layOutPieces(const PieceWork& work, const std::vector<off_t>& starts,
                                off_t afterLead, off_t leadEnd) {
    std::vector<Piece> pieces(starts.size());
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        Piece& piece = pieces[k];
        piece.first = k == 0 ? afterLead : starts[k];
        piece.last = k + 1 == pieces.size();
        piece.end = piece.last ? static_cast<off_t>(work.frames.size()) : starts[k + 1];
        piece.writeAt = leadEnd + (piece.first - afterLead) * static_cast<off_t>(work.frameBytes);
        piece.warmTail.reserve(kCheckFrames * work.frameBytes);
        piece.ownTail.reserve(kCheckFrames * work.frameBytes);
    }
    return pieces;
}

// The threads that decode the pieces, and how many of them are still at work.
struct PieceThreads {
    std::mutex mutex;
    std::condition_variable finished;
    std::size_t running = 0;
    std::vector<std::thread> threads;
};

// A thread for every piece, the first decoding with `mh`.
void startPieces(PieceThreads& started, std::vector<Piece>& pieces, PieceWork& work,
                 mpg123_handle* mh) {
    try {
        for (std::size_t k = 0; k < pieces.size(); ++k) {
            {
                std::lock_guard lock(started.mutex);
                ++started.running;
            }
            started.threads.emplace_back([&started, &pieces, &work, mh, k] {
                try {
                    decodePiece(pieces[k], work, k == 0 ? mh : nullptr);
                } catch (const std::bad_alloc&) {
                    pieces[k].same = false; // no memory for a piece: one piece after all
                }
                // One piece in doubt and the others' work is wasted: they stop.
                if (!pieces[k].same || pieces[k].writeError)
                    work.stop = true;
                std::lock_guard lock(started.mutex);
                --started.running;
                started.finished.notify_one();
            });
        }
    } catch (const std::system_error&) {
        // No thread to be had: the started ones stop, and the stream goes in one piece.
        work.stop = true;
        std::lock_guard lock(started.mutex);
        --started.running;
    }
}

// Waits for every piece's thread, telling the listener how far they have come; false when the
// listener stopped the run.
bool waitForPieces(PieceThreads& started, PieceWork& work, off_t afterLead, Listener* listener) {
    bool stopped = false;
    {
        std::unique_lock lock(started.mutex);
        const double total = static_cast<double>(work.frames.size());
        while (!started.finished.wait_for(lock, std::chrono::milliseconds(100),
                                          [&] { return started.running == 0; })) {
            if (!listener || stopped)
                continue;
            lock.unlock();
            const double fraction = static_cast<double>(afterLead + work.framesDone.load()) / total;
            stopped = !listener->progress(std::min(fraction, kBeforeTheEnd));
            if (stopped)
                work.stop = true;
            lock.lock();
        }
    }
    for (auto& thread : started.threads)
        thread.join();
    return !stopped;
}

// What came of the pieces: written, all of them shown to be what one piece gives; failed; or
// not the same.
PiecesResult piecesResult(const std::vector<Piece>& pieces, const PieceThreads& started,
                          bool stopped, std::size_t leadBytes) {
    PiecesResult result;
    result.threads = static_cast<int>(started.threads.size());
    if (stopped) {
        result.result = Pieces::Failed;
        result.message = "stopped";
        return result;
    }
    for (const Piece& piece : pieces) {
        if (piece.writeError) {
            result.result = Pieces::Failed;
            result.message = errnoText(piece.writeError);
            return result;
        }
    }
    bool same = started.threads.size() == pieces.size();
    for (std::size_t k = 0; same && k < pieces.size(); ++k)
        same = pieces[k].same && (k == 0 || pieces[k].warmTail == pieces[k - 1].ownTail);
    if (!same)
        return result;
    result.result = Pieces::Written;
    result.bytes = static_cast<long long>(leadBytes);
    for (const Piece& piece : pieces)
        result.bytes += piece.bytes;
    return result;
}

// Decodes the stream in pieces on threads, straight into the output from `dataStart` on.
// `mh` has read the stream's first frame and decodes the lead and the first piece.
PiecesResult decodeInPieces(PieceWork& work, const std::vector<off_t>& scanned,
                            const std::vector<off_t>& starts, mpg123_handle* mh, off_t dataStart,
                            Listener* listener) {
    Lead lead;
    if (!decodeLead(work, scanned, mh, lead) || lead.shift < 0 || lead.shift > 1 ||
        lead.last + 1 > starts[1] - kAlign)
        return {};
    if (const int error = work.output.writeAt(lead.samples.get(), lead.bytes, dataStart)) {
        PiecesResult failed;
        failed.result = Pieces::Failed;
        failed.message = errnoText(error);
        return failed;
    }
    lead.samples.reset();
    // The library's numbering from here on.
    work.frames.assign(scanned.begin() + lead.shift, scanned.end());
    const off_t afterLead = lead.last + 1;
    std::vector<Piece> pieces =
        layOutPieces(work, starts, afterLead, dataStart + static_cast<off_t>(lead.bytes));
    PieceThreads started;
    startPieces(started, pieces, work, mh);
    const bool stopped = !waitForPieces(started, work, afterLead, listener);
    return piecesResult(pieces, started, stopped, lead.bytes);
}

// The frames of the input, when it is a stream that may be decoded in pieces; else nothing.
std::optional<std::vector<off_t>> framesForPieces(const Options& options, const InputFile& input,
                                                  mpg123_handle* mh, int threads, bool hearing) {
    // Only a decode that hears the library's complaints can tell a damaged frame.
    if (threads < 2 || !hearing || options.searchAgain || options.ignoreErrors ||
        !input.regular() ||
        input.size() < 2 * static_cast<off_t>(options.minSliceFrames) * kShortestFrame)
        return std::nullopt;
    mpg123_frameinfo2 fi{};
    if (mpg123_info2(mh, &fi) != MPG123_OK || fi.version != MPG123_1_0 || fi.layer != 3)
        return std::nullopt;
    // Read in large blocks; a frame header is looked at once.
    std::vector<unsigned char> block(kInputBlock);
    off_t blockAt = 0;
    std::size_t blockFilled = 0;
    const int fd = input.fd();
    auto frames =
        scanCleanLayer3(input.size(), [&](off_t at, std::size_t count, unsigned char* into) {
            if (at < blockAt ||
                at + static_cast<off_t>(count) > blockAt + static_cast<off_t>(blockFilled)) {
                blockAt = at;
                blockFilled = 0;
                while (blockFilled < block.size()) {
                    const ssize_t n =
                        ::pread(fd, block.data() + blockFilled, block.size() - blockFilled,
                                at + static_cast<off_t>(blockFilled));
                    if (n < 0 && errno == EINTR)
                        continue;
                    if (n <= 0)
                        break;
                    blockFilled += static_cast<std::size_t>(n);
                }
                if (blockFilled < count)
                    return false;
            }
            std::memcpy(into, block.data() + (at - blockAt), count);
            return true;
        });
    if (!frames || static_cast<off_t>(frames->size()) < 2 * options.minSliceFrames + 1)
        return std::nullopt;
    return frames;
}

// What the decode in one piece carries from frame to frame. The library decodes each frame
// straight into the free end of the block, so samples are never copied before they are written.
struct OnePiece {
    explicit OnePiece(std::size_t blockSize) : size(blockSize), block(newBlock(blockSize)) {}
    unsigned char* freeEnd() const { return block.get() + filled; }

    std::size_t size;
    Block block;
    std::size_t filled = 0;
    int framesSinceReport = 0;
    off_t lastErrorAt = -1;
    // Frames in another rate or channel count than the stream began with: a false frame found
    // while searching through damage, or another stream joined on. Their audio is left out.
    bool foreign = false;
    int foreignFrames = 0;
};

// How the decode in one piece goes on after a frame.
enum class Step { On, Done, Failed };

// One run of decode(): the input, the output and the handle that reads the stream, and what has
// come of it. Each step gives false when the run fails, with the reason in the outcome.
class Decoding {
public:
    Decoding(const Options& options, Listener* listener)
        : m_options(options), m_listener(listener), m_in(options.input), m_out(options.output) {}
    Decoding(const Decoding&) = delete;
    Decoding& operator=(const Decoding&) = delete;

    Outcome run() {
        if (!openFiles() || !readStreamFormat() || !createOutput())
            return m_outcome;
        // From here on a failure takes the partial file away again.
        if (writePlaceholderHeader() && decodeStream() && finishOutput())
            m_outcome.ok = true;
        else
            m_output.discard();
        return m_outcome;
    }

private:
    bool fail(std::string why) {
        m_outcome.message = std::move(why);
        return false;
    }
    bool writeFailed() {
        return fail("cannot write " + m_out + ": " + errnoText(m_output.error()));
    }

    // Opens the input, and the output's folder, looking at what the output's name holds now.
    bool openFiles() {
        if (!m_input.open(m_in))
            return fail("cannot open " + m_in + ": " + errnoText(m_input.error()));
        std::string message;
        return m_output.prepare(m_out, m_input, message) || fail(message);
    }

    // Opens the stream from its start on a reader of its own and reads its rate and channels.
    bool openStream() {
        m_reader = std::make_unique<InputReader>(m_input);
        std::string message;
        m_mh = openHandle(m_options, *m_reader, message);
        if (!m_mh)
            return fail(message.rfind("cannot start", 0) == 0
                            ? message
                            : "cannot open " + m_in + ": " + message);
        int encoding = 0;
        if (mpg123_getformat(m_mh.get(), &m_rate, &m_channels, &encoding) != MPG123_OK ||
            m_channels == 0) {
            if (m_reader->error())
                return fail("cannot read " + m_in + ": " + errnoText(m_reader->error()));
            return fail(m_in + " is not an MPEG audio file");
        }
        // What the library says before the first frame is about the header's idea of the
        // stream's length (a file cut short or joined on), which changes no sample: the cut is
        // told from the last frame (endsInsideAFrame).
        m_outcome.damagedPlaces = 0;
        return true;
    }

    // Opens the stream and reads its rate, channels and tags; the listener hears what it is.
    bool readStreamFormat() {
        if (!openStream())
            return false;
        m_outcome.rate = m_rate;
        m_outcome.channels = m_channels;
        m_outcome.tags = readTags(m_in);
        if (m_listener)
            m_listener->started({m_rate, m_channels, describeStream(m_mh.get(), m_rate)});
        m_bytesPerFrame = sizeof(short) * static_cast<std::size_t>(m_channels);
        m_frameBytes = mpg123_outblock(m_mh.get());
        return true;
    }

    bool createOutput() {
        std::string message;
        return m_output.create(message) || fail(message);
    }

    // The header goes first as if the file held no samples, and again with their count at the
    // end. Its length depends on the tags alone, so the samples' place is fixed from here on,
    // for the pieces too.
    bool writePlaceholderHeader() {
        const auto placeholder =
            soundHeader(m_options.format, m_rate, m_channels, 0, m_outcome.tags);
        if (!placeholder || !m_output.append(placeholder->data(), placeholder->size()))
            return fail("cannot create " + m_out + ": " +
                        errnoText(m_output.error() ? m_output.error() : EINVAL));
        m_headerSize = placeholder->size();
        return true;
    }

    bool decodeStream() {
        if (!decodeInPiecesIfLong())
            return false;
        if (m_outcome.threads == 1 && !decodeInOnePiece())
            return false;
        if (m_outcome.frames == 0 && m_outcome.damagedParts > 0)
            return fail("nothing in " + m_in + " could be decoded");
        return true;
    }

    // A long stream without flaws goes in pieces, on as many threads as may be used; the
    // outcome's threads say whether it did.
    bool decodeInPiecesIfLong() {
        const int threads = decodeThreads(m_options.threads);
        const auto frames =
            framesForPieces(m_options, m_input, m_mh.get(), threads, m_messages.listening());
        if (!frames)
            return true;
        const auto starts =
            pieceStarts(static_cast<off_t>(frames->size()) - 1, threads, m_options.minSliceFrames);
        if (starts.size() < 2)
            return true;
        PieceWork work{m_options,
                       m_input,
                       m_output,
                       {},
                       m_rate,
                       m_channels,
                       1152 * m_bytesPerFrame}; // every MPEG-1 Layer III frame
        const auto pieces =
            decodeInPieces(work, *frames, starts, m_mh.get(), dataStart(), m_listener);
        if (pieces.result == Pieces::Failed) {
            return fail(pieces.message == "stopped"
                            ? "decoding " + m_in + " was stopped"
                            : "cannot write " + m_out + ": " + pieces.message);
        }
        if (pieces.result == Pieces::Written) {
            m_outcome.frames = pieces.bytes / static_cast<long long>(m_bytesPerFrame);
            m_outcome.threads = pieces.threads;
            return true;
        }
        return startAgain();
    }

    // The pieces were not shown to be the same: from the start again, for one piece.
    bool startAgain() {
        if (!m_output.truncate(dataStart()))
            return writeFailed();
        m_mh.reset();
        return openStream();
    }

    bool decodeInOnePiece() {
        OnePiece piece(oneBlockSize());
        Step step = Step::On;
        while (step == Step::On)
            step = decodeFrame(piece);
        return step == Step::Done && (flush(piece) || writeFailed());
    }

    // A short stream gets a block of its size.
    std::size_t oneBlockSize() const {
        const off_t expected = mpg123_length(m_mh.get());
        const std::size_t fits =
            expected > 0 ? (static_cast<std::size_t>(expected) * m_bytesPerFrame + 0xFFFF) &
                               ~std::size_t{0xFFFF}
                         : kOutputBlock;
        return std::max(std::min(kOutputBlock, fits), 2 * m_frameBytes);
    }

    Step decodeFrame(OnePiece& piece) {
        if (piece.size - piece.filled < m_frameBytes && !flush(piece)) {
            writeFailed();
            return Step::Failed;
        }
        mpg123_replace_buffer(m_mh.get(), piece.freeEnd(), piece.size - piece.filled);
        off_t frameNumber = 0;
        unsigned char* audio = nullptr;
        size_t bytes = 0;
        const long heard = LibraryMessages::heardOnThisThread();
        const int rc = mpg123_decode_frame(m_mh.get(), &frameNumber, &audio, &bytes);
        if (heard != LibraryMessages::heardOnThisThread())
            noteDamage(piece);
        if (!keepSamples(piece, audio, bytes))
            return Step::Failed;
        if (rc == MPG123_DONE) {
            m_outcome.cutShort = endsInsideAFrame();
            return Step::Done;
        }
        if (rc == MPG123_NEW_FORMAT) {
            noteFormat(piece);
            return Step::On;
        }
        if (rc != MPG123_OK)
            return afterError(piece);
        if (!reportProgress(piece)) {
            fail("decoding " + m_in + " was stopped");
            return Step::Failed;
        }
        return Step::On;
    }

    // Takes a frame's samples into the block, unless they are in another format; more such
    // frames in a row than damage explains fail the run, unless -ign.
    bool keepSamples(OnePiece& piece, unsigned char* audio, std::size_t bytes) {
        if (bytes > 0 && !piece.foreign) {
            if (audio != piece.freeEnd())
                std::memmove(piece.freeEnd(), audio, bytes);
            piece.filled += bytes;
        } else if (bytes > 0 && ++piece.foreignFrames > kMaxForeignFrames &&
                   !m_options.ignoreErrors) {
            return fail("the stream in " + m_in + " changes its sample rate or channels midway");
        }
        return true;
    }

    // Complaints of the library within a second of the output of each other are one damaged
    // place; the first one's time is where the output had come to.
    void noteDamage(const OnePiece& piece) {
        const long long at =
            m_outcome.frames + static_cast<long long>(piece.filled / m_bytesPerFrame);
        if (m_outcome.damagedPlaces == 0)
            m_outcome.firstDamageAt = static_cast<double>(at) / static_cast<double>(m_rate);
        if (m_outcome.damagedPlaces == 0 || at > m_lastDamage + m_rate)
            ++m_outcome.damagedPlaces;
        m_lastDamage = at;
    }

    // The frames from here on are in the stream's own format or in another.
    void noteFormat(OnePiece& piece) {
        long r = 0;
        int c = 0, e = 0;
        mpg123_getformat(m_mh.get(), &r, &c, &e);
        const bool wasForeign = piece.foreign;
        piece.foreign = r != m_rate || c != m_channels;
        if (piece.foreign && !wasForeign) {
            piece.foreignFrames = 0;
            ++m_outcome.damagedParts;
        }
    }

    // A frame the library could not decode ends the run; under -ign the search goes on from
    // where the library gave up, as long as that moves forward.
    Step afterError(OnePiece& piece) {
        if (!m_options.ignoreErrors) {
            fail(whyDecodingFailed());
            return Step::Failed;
        }
        const off_t at = m_reader->position();
        if (at <= piece.lastErrorAt || m_reader->error())
            return Step::Done;
        piece.lastErrorAt = at;
        ++m_outcome.damagedParts;
        return Step::On;
    }

    // Whether the input ends in the middle of a frame, where the library stopped: bytes are
    // left after the last frame it decoded, and they begin as a frame does (an ID3v1 tag or
    // other trailing data does not).
    bool endsInsideAFrame() const {
        mpg123_frameinfo2 fi{};
        if (mpg123_info2(m_mh.get(), &fi) != MPG123_OK)
            return false;
        const off_t end = mpg123_framepos(m_mh.get()) + fi.framesize;
        unsigned char b[2];
        return m_input.regular() && end + 4 <= m_input.size() &&
               ::pread(m_input.fd(), b, 2, end) == 2 && b[0] == 0xFF && (b[1] & 0xE0) == 0xE0;
    }

    std::string whyDecodingFailed() const {
        if (m_reader->error())
            return "cannot read " + m_in + ": " + errnoText(m_reader->error());
        if (mpg123_errcode(m_mh.get()) == MPG123_RESYNC_FAIL)
            return "lost synchronization in " + m_in + " at byte " +
                   std::to_string(m_reader->position()) +
                   " and found no next frame nearby (-sa searches on)";
        return "decoding " + m_in + " failed: " + mpg123_strerror(m_mh.get());
    }

    // Every kFramesPerReport frames, how far the input has been read; false when the listener
    // stops the run.
    bool reportProgress(OnePiece& piece) {
        if (!m_listener || ++piece.framesSinceReport < kFramesPerReport)
            return true;
        piece.framesSinceReport = 0;
        const double fraction = m_input.size() > 0 ? static_cast<double>(m_reader->position()) /
                                                         static_cast<double>(m_input.size())
                                                   : 0.0;
        return m_listener->progress(std::min(fraction, kBeforeTheEnd));
    }

    bool flush(OnePiece& piece) {
        if (piece.filled && !m_output.append(piece.block.get(), piece.filled))
            return false;
        m_outcome.frames += static_cast<long long>(piece.filled / m_bytesPerFrame);
        piece.filled = 0;
        return true;
    }

    // The final header; only a complete file takes the output's name.
    bool finishOutput() {
        if (m_listener)
            m_listener->progress(1.0);
        const auto header =
            soundHeader(m_options.format, m_rate, m_channels, m_outcome.frames, m_outcome.tags);
        if (!header || header->size() != m_headerSize)
            return fail("cannot write " + m_out + ": " + errnoText(EFBIG) + " for the format");
        if (const int error = m_output.writeAt(header->data(), header->size(), 0))
            return fail("cannot write " + m_out + ": " + errnoText(error));
        if (!m_output.close())
            return writeFailed();
        std::string message;
        return m_output.land(m_input, message) || fail(message);
    }

    off_t dataStart() const { return static_cast<off_t>(m_headerSize); }

    LibraryMessages m_messages; // heard from the start to the end of the run
    const Options& m_options;
    Listener* m_listener;
    const std::string& m_in;
    const std::string& m_out;
    Outcome m_outcome;
    InputFile m_input;
    OutputFile m_output;
    std::unique_ptr<InputReader> m_reader; // read by m_mh
    Handle m_mh;
    long m_rate = 0;
    int m_channels = 0;
    std::size_t m_bytesPerFrame = 0; // of decoded samples
    std::size_t m_frameBytes = 0;    // the most one frame decodes to
    std::size_t m_headerSize = 0;    // where the samples start
    long long m_lastDamage = 0;      // sample frames written when the library last complained
};

} // namespace

Outcome decode(const Options& options, Listener* listener) {
    return Decoding(options, listener).run();
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
