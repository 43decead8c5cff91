// l3dec on real MP3 files, made by lame at test time: what it writes must be exactly what the
// MPEG library decodes, in a container that libsndfile and sox both read back.
#include "tools/decoder/Decoder.h"
#include "tests/support/CaseNames.h"
#include "tools/decoder/Slicing.h"

#include "tests/support/Mp3Cache.h"
#include "tests/support/ReferenceDecode.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;
using tw::decoder::Format;
using tw::decoder::Options;
using tw::test::decodeReference;

namespace {

std::string run(const std::string& command, int* status = nullptr) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return output;
    char chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        output.append(chunk, n);
    const int rc = ::pclose(pipe);
    if (status)
        *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return output;
}

std::string readAll(const fs::path& path) {
    return tw::test::readFile(path.string());
}

// Everything about each entry of a folder (and of the folders in it) that a run could change:
// its file, type, device number, size, time of change, link text and content.
std::map<std::string, std::string> snapshot(const fs::path& folder,
                                            std::map<std::string, std::string> entries = {}) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        struct stat st {};
        ::lstat(entry.path().c_str(), &st);
        if (S_ISDIR(st.st_mode))
            entries = snapshot(entry.path(), std::move(entries));
        std::ostringstream text;
        text << st.st_ino << ' ' << st.st_mode << ' ' << st.st_rdev << ' ' << st.st_size << ' '
             << st.st_mtim.tv_sec << '.' << st.st_mtim.tv_nsec;
        if (S_ISLNK(st.st_mode))
            text << " -> " << fs::read_symlink(entry.path()).string();
        else if (S_ISREG(st.st_mode))
            text << ' ' << std::hash<std::string>{}(readAll(entry.path()));
        entries[entry.path().string()] = text.str();
    }
    return entries;
}

// l3dec started as a script starts it: every signal at its default action whatever the test
// runner ignores, no core dumps, stdout and stderr into a file of its own (or into `pipe`).
class Started {
public:
    Started(const std::vector<std::string>& args, const fs::path& log, int pipe = -1) : m_log(log) {
        std::vector<char*> argv{const_cast<char*>(TW_L3DEC)};
        for (const auto& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        m_pid = ::fork();
        if (m_pid == 0) {
            struct sigaction initial {};
            initial.sa_handler = SIG_DFL;
            for (int signal = 1; signal < NSIG; ++signal)
                ::sigaction(signal, &initial, nullptr);
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            const rlimit noCore{0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);
            const int into =
                pipe >= 0 ? pipe : ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(into, 1);
            ::dup2(into, 2);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ~Started() {
        if (m_status < 0 && m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    void signal(int signal) const { ::kill(m_pid, signal); }
    // The wait status; a run that takes too long (waiting on a FIFO, say) is killed.
    int wait() {
        for (int waited = 0; m_status < 0; ++waited) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid)
                m_status = status;
            else if (waited == 20000)
                signal(SIGKILL);
            else
                ::usleep(1000);
        }
        return m_status;
    }
    std::string errors() const { return readAll(m_log); }

private:
    fs::path m_log;
    pid_t m_pid = -1;
    int m_status = -1;
};

bool exitedWith(int status, int code) {
    return WIFEXITED(status) && WEXITSTATUS(status) == code;
}

// Real MP3 files of several kinds, made once for the whole program: `seconds` of a tone over
// noise, at `rate` Hz with `channels`, encoded with `lameArgs`.
std::string mp3File(const std::string& name, int rate, int channels, double seconds,
                    const std::string& lameArgs) {
    return tw::test::Mp3Cache::get().make(
        name, rate, channels, "synth " + std::to_string(seconds) + " sine 440 pinknoise gain -12",
        lameArgs);
}

// `copies` of a two-second tone at `bitrate` one after the other: a long stream, made in no
// time. The tone carries no info frame, which would say the stream ends after one copy.
std::string repeatedTone(int bitrate, int copies) {
    const std::string name = "tone" + std::to_string(bitrate);
    const fs::path path = fs::path(tw::test::Mp3Cache::get().folder()) /
                          (name + "x" + std::to_string(copies) + ".mp3");
    if (!fs::exists(path)) {
        const std::string bytes =
            readAll(mp3File(name + ".mp3", 44100, 2, 2.0, "-t -b " + std::to_string(bitrate)));
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < copies; ++i)
            out << bytes;
    }
    return path.string();
}

class DecoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!tw::test::Mp3Cache::get().ready())
            GTEST_SKIP() << "lame and sox make the test files; scripts/setup.sh installs them";
        m_dir = fs::path(tw::test::Mp3Cache::get().folder()) /
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
    std::string tone(double seconds = 2.0) {
        return mp3File("tone.mp3", 44100, 2, seconds, "-b 128");
    }
    // Names in the output folder: a failed run must leave nothing there.
    std::vector<std::string> outputs() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    Options options(const std::string& input, const std::string& output = "out.wav") const {
        Options o;
        o.input = input;
        o.output = (m_dir / output).string();
        return o;
    }

    fs::path m_dir;
};

struct Source {
    const char* name;
    int rate;
    int channels;
    const char* lameArgs;
};

struct Container {
    Format format;
    const char* extension;
    std::size_t magicOffset;
    const char* magic;
};

void PrintTo(const Source& source, std::ostream* os) {
    *os << source.name;
}

void PrintTo(const Container& container, std::ostream* os) {
    *os << container.extension;
}

class DecoderFormatTest : public DecoderTest,
                          public ::testing::WithParamInterface<std::tuple<Source, Container>> {};

TEST_P(DecoderFormatTest, WritesExactlyWhatTheLibraryDecodes) {
    const auto& [source, container] = GetParam();
    const auto mp3 = mp3File(std::string(source.name) + ".mp3", source.rate, source.channels, 1.5,
                             source.lameArgs);
    const auto reference = decodeReference(mp3);
    ASSERT_TRUE(reference && reference->frames() > 0) << mp3;
    const auto& expected = *reference;

    auto o = options(mp3, std::string("out.") + container.extension);
    o.format = container.format;
    const auto outcome = tw::decoder::decode(o);
    ASSERT_TRUE(outcome.ok) << outcome.message;
    EXPECT_EQ(outcome.frames, expected.frames());
    EXPECT_EQ(outputs(), std::vector<std::string>{fs::path(o.output).filename().string()});
    EXPECT_EQ(readAll(o.output).substr(container.magicOffset, 4), container.magic);

    // libsndfile reads it back as the same samples.
    SF_INFO info{};
    SNDFILE* f = sf_open(o.output.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.samplerate, expected.rate);
    EXPECT_EQ(info.channels, expected.channels);
    EXPECT_EQ(info.frames, expected.frames());
    std::vector<short> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_read_short(f, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(f);
    EXPECT_TRUE(samples == expected.samples);

    // So does sox, a reader of its own.
    const std::string quoted = "'" + o.output + "'";
    EXPECT_EQ(run("soxi -c " + quoted), std::to_string(expected.channels) + "\n");
    EXPECT_EQ(run("soxi -r " + quoted), std::to_string(expected.rate) + "\n");
    EXPECT_EQ(run("soxi -s " + quoted), std::to_string(expected.frames()) + "\n");
    const std::string raw = run("sox " + quoted + " -t raw -e signed -b 16 - 2>/dev/null");
    EXPECT_TRUE(raw.size() == expected.samples.size() * sizeof(short) &&
                std::memcmp(raw.data(), expected.samples.data(), raw.size()) == 0);
}

INSTANTIATE_TEST_SUITE_P(
    SourcesAndContainers, DecoderFormatTest,
    ::testing::Combine(::testing::Values(Source{"cd_stereo", 44100, 2, "-b 128"},
                                         Source{"mpeg2_mono", 22050, 1, "-b 32"},
                                         Source{"mpeg25_stereo", 11025, 2, "-b 24"},
                                         Source{"vbr_48k", 48000, 2, "-V 4"}),
                       ::testing::Values(Container{Format::Wav, "wav", 8, "WAVE"},
                                         Container{Format::Snd, "snd", 0, ".snd"},
                                         Container{Format::Aiff, "aiff", 8, "AIFF"},
                                         Container{Format::Aifc, "aifc", 8, "AIFC"})),
    [](const auto& tested) {
        return std::string(std::get<0>(tested.param).name) + "_" +
               std::get<1>(tested.param).extension;
    });

// A copy of the tone with bytes put into or cut from the middle.
std::string damaged(const std::string& mp3, const fs::path& folder, const std::string& insert,
                    bool truncate) {
    std::string bytes = readAll(mp3);
    const std::size_t middle = bytes.size() / 2;
    bytes = truncate ? bytes.substr(0, middle + 100)
                     : bytes.substr(0, middle) + insert + bytes.substr(middle);
    const fs::path path = folder / "damaged.mp3";
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
}

struct DamageCase {
    const char* name;
    std::string insert; // put in the middle
    bool truncate;      // or the file cut after its middle
    bool searchAgain;
    bool ignoreErrors;
    const char* failure; // what a failed run says, or nullptr when it succeeds
    // Of the undamaged file's samples: a frame or two around the damage is lost, and frames
    // added in the middle move the end that gapless decoding trims.
    double minShare, maxShare;
    bool passesOverDamage; // reports the damaged parts it went past
};

void PrintTo(const DamageCase& c, std::ostream* os) {
    *os << c.name;
}

// Put in place of the insert: a whole MP3 of another rate and channel count.
const std::string kOtherStream = "<other stream>";

class DecoderDamageTest : public DecoderTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DecoderDamageTest, TheSwitchesDecideHowFarDecodingGoes) {
    const auto& c = GetParam();
    const auto whole = decodeReference(tone());
    ASSERT_TRUE(whole);
    const std::string insert = c.insert == kOtherStream
                                   ? readAll(mp3File("mpeg2_mono.mp3", 22050, 1, 1.5, "-b 32"))
                                   : c.insert;
    auto o = options(damaged(tone(), m_dir, insert, c.truncate));
    o.searchAgain = c.searchAgain;
    o.ignoreErrors = c.ignoreErrors;
    const auto outcome = tw::decoder::decode(o);
    ASSERT_EQ(outcome.ok, c.failure == nullptr) << outcome.message;
    if (c.failure) {
        EXPECT_NE(outcome.message.find(c.failure), std::string::npos) << outcome.message;
        EXPECT_EQ(outputs(), std::vector<std::string>{"damaged.mp3"});
        return;
    }
    const double share = static_cast<double>(outcome.frames) / static_cast<double>(whole->frames());
    EXPECT_GE(share, c.minShare);
    EXPECT_LE(share, c.maxShare);
    if (c.passesOverDamage) {
        EXPECT_GT(outcome.damagedParts, 0);
    }
    SF_INFO info{};
    SNDFILE* f = sf_open(o.output.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(info.frames, outcome.frames);
    EXPECT_EQ(info.samplerate, 44100);
    EXPECT_EQ(info.channels, 2);
    sf_close(f);
}

const std::string kJunk = std::string(4096, 'x');
const std::string kFarJunk = std::string(256 * 1024, '\0');
const char* const kLostSync = "lost synchronization";

INSTANTIATE_TEST_SUITE_P(
    Damage, DecoderDamageTest,
    ::testing::Values(
        DamageCase{"Junk", kJunk, false, false, false, kLostSync, 0, 0, false},
        DamageCase{"JunkSearchAgain", kJunk, false, true, false, nullptr, 0.9, 1.0, false},
        DamageCase{"FarJunkSearchAgain", kFarJunk, false, true, false, nullptr, 0.9, 1.0, false},
        DamageCase{"JunkIgnoreErrors", kJunk, false, false, true, nullptr, 0.9, 1.0, true},
        DamageCase{"TruncatedIgnoreErrors", "", true, false, true, nullptr, 0.45, 0.55, false},
        DamageCase{"TruncatedBothSwitches", "", true, true, true, nullptr, 0.45, 0.55, false},
        DamageCase{"OtherStream", kOtherStream, false, true, false, "changes its sample rate", 0, 0,
                   false},
        DamageCase{"OtherStreamIgnoreErrors", kOtherStream, false, false, true, nullptr, 0.9, 1.01,
                   true}),
    [](const auto& tested) { return std::string(tested.param.name); });

TEST_F(DecoderTest, FailuresLeaveNoOutputAndKeepAnEarlierOne) {
    const auto notAudio = (m_dir / "notes.mp3").string();
    std::ofstream(notAudio) << std::string(100000, 'n');
    std::ofstream(m_dir / "out.wav") << "earlier output";
    fs::create_directories(m_dir / "folder.wav");
    struct Case {
        std::string input, output, expected;
    };
    const std::vector<Case> cases{
        {notAudio, "out.wav", "is not an MPEG audio file"},
        {(m_dir / "missing.mp3").string(), "out.wav", "No such file or directory"},
        {m_dir.string(), "out.wav", "Is a directory"},
        {tone(), "no such folder/out.wav", "No such file or directory"},
        {tone(), "folder.wav", "it is a folder"},
        {notAudio, "notes.mp3", "it is the input itself"},
        {notAudio, "notes link.mp3", "it is the input itself"},
    };
    fs::create_hard_link(notAudio, m_dir / "notes link.mp3");
    for (const auto& c : cases) {
        const auto outcome = tw::decoder::decode(options(c.input, c.output));
        EXPECT_FALSE(outcome.ok) << c.input << " -> " << c.output;
        EXPECT_NE(outcome.message.find(c.expected), std::string::npos) << outcome.message;
        EXPECT_EQ(outcome.message.find('\n'), std::string::npos) << outcome.message;
    }
    EXPECT_EQ(outputs(),
              (std::vector<std::string>{"folder.wav", "notes link.mp3", "notes.mp3", "out.wav"}));
    EXPECT_EQ(readAll(m_dir / "out.wav"), "earlier output");
}

// What the output's name holds before the run: anything but a regular file must stay as it is.
struct Occupant {
    const char* name;
    bool needsRoot;
    void (*make)(const fs::path& output);
};

void PrintTo(const Occupant& occupant, std::ostream* os) {
    *os << occupant.name;
}

class DecoderOccupiedTest : public DecoderTest, public ::testing::WithParamInterface<Occupant> {};

TEST_P(DecoderOccupiedTest, AnOutputThatIsNoRegularFileIsRefusedAndStays) {
    if (GetParam().needsRoot && ::geteuid() != 0)
        GTEST_SKIP() << "only root makes a device node";
    std::ofstream(m_dir / "file.wav") << "someone else's file";
    fs::create_directory(m_dir / "folder");
    GetParam().make(m_dir / "out.wav");
    if (IsSkipped() || HasFatalFailure())
        return;
    const auto before = snapshot(m_dir);

    Started run({tone(), (m_dir / "out.wav").string(), "-wav"}, m_dir.string() + ".log");
    EXPECT_TRUE(exitedWith(run.wait(), 1));
    const std::string errors = run.errors();
    EXPECT_EQ(
        errors.rfind("l3dec: cannot replace " + (m_dir / "out.wav").string() + ": it is a ", 0), 0u)
        << errors;
    EXPECT_NE(errors.find(", not a regular file\n"), std::string::npos) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_EQ(snapshot(m_dir), before);
}

INSTANTIATE_TEST_SUITE_P(
    Occupants, DecoderOccupiedTest,
    ::testing::Values(
        Occupant{"Device", true,
                 [](const fs::path& out) {
                     // The numbers of the null device: were it written through, nothing happens.
                     if (::mknod(out.c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0)
                         GTEST_SKIP() << "no device node here: " << std::strerror(errno);
                 }},
        Occupant{"Fifo", false,
                 [](const fs::path& out) { ASSERT_EQ(::mkfifo(out.c_str(), 0600), 0); }},
        Occupant{"Socket", false,
                 [](const fs::path& out) {
                     sockaddr_un address{};
                     address.sun_family = AF_UNIX;
                     ASSERT_LT(out.string().size(), sizeof address.sun_path);
                     std::strcpy(address.sun_path, out.c_str());
                     const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
                     ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address),
                               0);
                     ::close(fd);
                 }},
        Occupant{"Folder", false, [](const fs::path& out) { fs::create_directory(out); }},
        Occupant{"LinkToFile", false,
                 [](const fs::path& out) { fs::create_symlink("file.wav", out); }},
        Occupant{"LinkToFolder", false,
                 [](const fs::path& out) { fs::create_directory_symlink("folder", out); }},
        Occupant{"DanglingLink", false,
                 [](const fs::path& out) { fs::create_symlink("nothing.wav", out); }},
        Occupant{"LinkToItself", false,
                 [](const fs::path& out) { fs::create_symlink("out.wav", out); }}),
    [](const auto& tested) { return std::string(tested.param.name); });

// The partial file never takes a name that is there, and its name fits beside any output name.
TEST_F(DecoderTest, NamesTheRunDidNotMakeStay) {
    const std::string input = (m_dir / "out.wav.l3dec-part").string();
    fs::copy_file(tone(), input);
    for (const char* name : {".l3dec-part", ".l3dec-000000", ".out.wav", "out.wav.part"})
        std::ofstream(m_dir / name) << name;
    const auto before = snapshot(m_dir);
    const auto expected = decodeReference(tone());
    ASSERT_TRUE(expected);

    for (const std::size_t length : {std::size_t{8}, std::size_t{250}, std::size_t{255}}) {
        const std::string name = std::string(length - 4, 'n') + ".wav";
        const auto outcome = tw::decoder::decode(options(input, name));
        ASSERT_TRUE(outcome.ok) << length << ": " << outcome.message;
        EXPECT_EQ(outcome.frames, expected->frames());
        auto after = snapshot(m_dir);
        EXPECT_EQ(after.erase((m_dir / name).string()), 1u);
        EXPECT_EQ(after, before) << length;
        fs::remove(m_dir / name);
    }
    // Its own name for output too.
    const auto outcome = tw::decoder::decode(options(input, "out.wav.l3dec-part"));
    EXPECT_NE(outcome.message.find("it is the input itself"), std::string::npos);
    EXPECT_EQ(snapshot(m_dir), before);
}

TEST_F(DecoderTest, AFullDiskLeavesNoOutput) {
    // A limit on file size fails writes the way a full disk does, in a child of its own.
    const auto o = options(tone());
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const auto outcome = tw::decoder::decode(o);
        const bool saysWhy = outcome.message.find("cannot write") != std::string::npos &&
                             outcome.message.find("too large") != std::string::npos;
        std::_Exit(!outcome.ok && saysWhy ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(outputs().empty());
}

struct StopSignal {
    const char* name;
    int signal;
    bool fault = false; // ends the process as a fault does, core dump and all, rather than by exit
};

void PrintTo(const StopSignal& stop, std::ostream* os) {
    *os << stop.name;
}

class DecoderSignalTest : public DecoderTest, public ::testing::WithParamInterface<StopSignal> {};

TEST_P(DecoderSignalTest, ASignalMidwayLeavesNothingBehind) {
    const auto& [name, signal, fault] = GetParam();
    const std::string tenMinutes = repeatedTone(128, 300);
    std::ofstream(m_dir / "out.wav") << "earlier output";
    const auto before = snapshot(m_dir);

    Started run({tenMinutes, (m_dir / "out.wav").string(), "-wav"}, m_dir.string() + ".log");
    // Midway: once the partial file is there.
    for (int i = 0; i < 50000 && outputs().size() == before.size(); ++i)
        ::usleep(100);
    ASSERT_GT(outputs().size(), before.size()) << "no partial file to be seen";
    run.signal(signal);
    const int status = run.wait();
    if (fault) {
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    } else {
        EXPECT_TRUE(exitedWith(status, 128 + signal)) << status;
        const std::string said = "l3dec: stopped by signal " + std::to_string(signal) + "\n";
        EXPECT_TRUE(run.errors().ends_with(said)) << run.errors();
    }
    EXPECT_EQ(snapshot(m_dir), before);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, DecoderSignalTest,
    ::testing::Values(
        StopSignal{"HUP", SIGHUP}, StopSignal{"INT", SIGINT}, StopSignal{"QUIT", SIGQUIT},
        StopSignal{"PIPE", SIGPIPE}, StopSignal{"ALRM", SIGALRM}, StopSignal{"TERM", SIGTERM},
        StopSignal{"USR1", SIGUSR1}, StopSignal{"USR2", SIGUSR2}, StopSignal{"POLL", SIGPOLL},
        StopSignal{"PROF", SIGPROF}, StopSignal{"VTALRM", SIGVTALRM}, StopSignal{"XCPU", SIGXCPU},
        StopSignal{"XFSZ", SIGXFSZ}, StopSignal{"PWR", SIGPWR}, StopSignal{"STKFLT", SIGSTKFLT},
        StopSignal{"RTMIN", SIGRTMIN}, StopSignal{"RTMAX", SIGRTMAX},
        StopSignal{"ABRT", SIGABRT, true}, StopSignal{"ILL", SIGILL, true},
        StopSignal{"TRAP", SIGTRAP, true}, StopSignal{"SYS", SIGSYS, true}),
    [](const auto& tested) { return std::string(tested.param.name); });

// Nobody reads what l3dec says any more: its writes fail, and the decode goes on to its end.
TEST_F(DecoderTest, AClosedStdoutAndStderrLoseNothing) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    const std::string out = (m_dir / "out.wav").string();
    Started decoded({tone(), out, "-wav"}, {}, ends[1]);
    Started failed({(m_dir / "missing.mp3").string(), out, "-wav"}, {}, ends[1]);
    ::close(ends[1]);
    EXPECT_TRUE(exitedWith(decoded.wait(), 0));
    EXPECT_TRUE(exitedWith(failed.wait(), 1));
    SF_INFO info{};
    SNDFILE* f = sf_open(out.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    sf_close(f);
    EXPECT_EQ(info.frames, decodeReference(tone())->frames());
    EXPECT_EQ(outputs(), std::vector<std::string>{"out.wav"});
}

// What two runs writing one output at once leave is one whole decode, never a mix, and a run
// that says it succeeded left its own.
TEST_F(DecoderTest, TwoRunsIntoOneOutputLeaveOneWholeDecode) {
    const std::string inputs[] = {repeatedTone(128, 5), repeatedTone(192, 5)};
    std::string decodes[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(tw::decoder::decode(options(inputs[i], "alone.wav")).ok);
        decodes[i] = readAll(m_dir / "alone.wav");
    }
    ASSERT_NE(decodes[0], decodes[1]);
    fs::remove(m_dir / "alone.wav");

    const std::string out = (m_dir / "out.wav").string();
    for (int attempt = 0; attempt < 8; ++attempt) {
        Started first({inputs[0], out, "-wav"}, m_dir.string() + ".1.log");
        Started second({inputs[1], out, "-wav"}, m_dir.string() + ".2.log");
        const int status[] = {first.wait(), second.wait()};
        const std::string left = readAll(out);
        const int own = left == decodes[0] ? 0 : left == decodes[1] ? 1 : -1;
        ASSERT_NE(own, -1) << "neither decode, attempt " << attempt;
        EXPECT_TRUE(exitedWith(status[own], 0)) << status[own];
        const Started& other = own == 0 ? second : first;
        if (!exitedWith(status[1 - own], 0)) {
            EXPECT_TRUE(exitedWith(status[1 - own], 1)) << status[1 - own];
            EXPECT_NE(other.errors().find("was replaced by another program"), std::string::npos)
                << other.errors();
        }
        EXPECT_EQ(outputs(), std::vector<std::string>{"out.wav"});
    }
}

// Records what it is told; stops the run at the first report unless `goOn`.
class Recorder : public tw::decoder::Listener {
public:
    explicit Recorder(bool goOn) : m_goOn(goOn) {}
    void started(const tw::decoder::StreamInfo& info) override { description = info.description; }
    bool progress(double fraction) override {
        told.push_back(fraction);
        return m_goOn;
    }
    std::string description;
    std::vector<double> told;

private:
    bool m_goOn;
};

TEST_F(DecoderTest, AStoppedRunLeavesNoOutput) {
    Recorder listener(false);
    const auto outcome = tw::decoder::decode(options(tone()), &listener);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(listener.description, "MPEG-1 Layer III, 128 kbit/s, 44100 Hz, joint stereo");
    EXPECT_TRUE(outputs().empty());
}

// However the reports of progress fall (one every 40 frames), 100% is told once, last.
TEST_F(DecoderTest, TheEndIsToldOnce) {
    const std::string bytes = readAll(tone());
    const auto frames = tw::decoder::scanCleanLayer3(
        static_cast<off_t>(bytes.size()), [&](off_t at, std::size_t count, unsigned char* to) {
            return std::memcpy(to, bytes.data() + at, count) != nullptr;
        });
    for (std::size_t kept = 38; kept < 46; ++kept) {
        std::ofstream(m_dir / "cut.mp3", std::ios::binary)
            << bytes.substr(0, static_cast<std::size_t>(frames.value().at(kept)));
        Recorder listener(true);
        ASSERT_TRUE(tw::decoder::decode(options((m_dir / "cut.mp3").string()), &listener).ok);
        EXPECT_EQ(std::find(listener.told.begin(), listener.told.end(), 1.0),
                  std::prev(listener.told.end()))
            << kept;
    }
}

// The program itself, as the script runs it.
TEST_F(DecoderTest, TheProgramReportsInOneLineAndSetsItsExitCode) {
    const std::string l3dec = "'" TW_L3DEC "'";
    const std::string mp3 = tone();
    const std::string out = (m_dir / "OUT.WAV").string();
    int status = -1;
    auto text = run(l3dec + " '" + mp3 + "' '" + out + "' -WAV -sa -ign  2>&1", &status);
    EXPECT_EQ(status, 0) << text;
    EXPECT_NE(text.find(mp3 + ": MPEG-1 Layer III, 128 kbit/s, 44100 Hz, joint stereo -> WAV, "
                              "16-bit PCM\n100%  0:00\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(out + ": 88200 samples (0:02) written in "), std::string::npos) << text;

    text = run(l3dec + " '" + m_dir.string() + "/missing.mp3' '" + out + "' -aic 2>&1", &status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_EQ(text.rfind("l3dec: cannot open ", 0), 0u) << text;

    text = run(l3dec + " only-one.mp3 -wav 2>&1", &status);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(outputs(), std::vector<std::string>{"OUT.WAV"});
}

// The library's own lines never reach the console: a damaged stream is told in one line of
// l3dec's, and in none under -ign.
TEST_F(DecoderTest, DamageIsToldInOneLineOfItsOwn) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-sa"}, "is damaged at 0:00 (the sound there may drop out or click)\n"},
        {{"-sa", "-ign"}, ""},
        {{"cut"}, "is cut short at 0:00\n"}};
    for (const auto& [switches, said] : cases) {
        const bool cut = switches[0] == "cut";
        const std::string mp3 = damaged(tone(), m_dir, cut ? "" : kJunk, cut);
        std::vector<std::string> args{TW_L3DEC, mp3, (m_dir / "out.wav").string()};
        args.insert(args.end(), switches.begin() + cut, switches.end());
        EXPECT_EQ(tw::test::runAndCatch(args, m_dir.string()).err,
                  said.empty() ? "" : "l3dec: warning: " + mp3 + " " + said);
    }
}

// In a console the progress line is drawn over itself and ended before the summary.
TEST_F(DecoderTest, OnATerminalTheProgressLineIsRedrawnInPlace) {
    if (!tw::test::onPath("script"))
        GTEST_SKIP() << "script (bsdutils) gives the decoder a terminal";
    const std::string command =
        "'" TW_L3DEC "' '" + tone() + "' '" + (m_dir / "OUT.AIF").string() + "' -aif";
    const std::string text = run("script -qec \"" + command + "\" /dev/null");
    EXPECT_TRUE(std::regex_search(
        text, std::regex("16-bit PCM\r\n(\r [ 0-9]{2}%  0:00)+\r100%  0:00\r\n[^\r\n]*"
                         "OUT\\.AIF: 88200 samples")))
        << text;
}

struct ArgsCase {
    std::vector<std::string> args;
    bool ok;
    Format format;
    bool sa;
    bool ign;
    int threads = 0;
};

class DecoderArgsTest : public ::testing::TestWithParam<ArgsCase> {};

TEST_P(DecoderArgsTest, ReadsTheCommandLineThatTheScriptWrites) {
    Options options;
    std::string error;
    ASSERT_EQ(tw::decoder::parseArguments(GetParam().args, options, error), GetParam().ok) << error;
    if (!GetParam().ok) {
        EXPECT_FALSE(error.empty());
        return;
    }
    EXPECT_EQ(options.input, "a.mp3");
    EXPECT_EQ(options.output, "b");
    EXPECT_EQ(options.format, GetParam().format);
    EXPECT_EQ(options.searchAgain, GetParam().sa);
    EXPECT_EQ(options.ignoreErrors, GetParam().ign);
    EXPECT_EQ(options.threads, GetParam().threads);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, DecoderArgsTest,
    ::testing::Values(
        ArgsCase{{"a.mp3", "b", "-wav"}, true, Format::Wav, false, false},
        ArgsCase{{"a.mp3", "b", "-snd", "-ign"}, true, Format::Snd, false, true},
        ArgsCase{{"a.mp3", "b", "-aif", "-sa", "-ign"}, true, Format::Aiff, true, true},
        ArgsCase{{"-ign", "-sa", "a.mp3", "-aic", "b"}, true, Format::Aifc, true, true},
        ArgsCase{{"a.mp3", "b", "-AIC", "-Sa", ""}, true, Format::Aifc, true, false},
        ArgsCase{{"a.mp3", "b"}, true, Format::Wav, false, false},
        ArgsCase{{"a.mp3", "-wav"}, false, Format::Wav, false, false},
        ArgsCase{{"a.mp3", "b", "c", "-wav"}, false, Format::Wav, false, false},
        ArgsCase{{"a.mp3", "b", "-wav", "-aic"}, false, Format::Wav, false, false},
        ArgsCase{{"a.mp3", "b", "-x"}, false, Format::Wav, false, false},
        ArgsCase{{"a.mp3", "b", "-j", "3"}, true, Format::Wav, false, false, 3},
        ArgsCase{{"-J12", "a.mp3", "-aic", "b"}, true, Format::Aifc, false, false, 12},
        ArgsCase{{"a.mp3", "b", "-j"}, false, Format::Wav, false, false},
        ArgsCase{{"a.mp3", "b", "-j", "0"}, false, Format::Wav, false, false},
        ArgsCase{{"a.mp3", "-j", "b", "c"}, false, Format::Wav, false, false},
        ArgsCase{{"a.mp3", "b", "-j", "257"}, false, Format::Wav, false, false}),
    tw::test::namedBy([](const ArgsCase& c) {
        std::string all;
        for (const std::string& arg : c.args)
            all += arg + " ";
        return all;
    }));

} // namespace
