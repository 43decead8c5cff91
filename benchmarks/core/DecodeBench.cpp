// How long Decode takes to build and write TEMP.BAT for a large selection, on real files.
// The file counts: TONWRIGHT_BENCH_FILES (e.g. "1000,50000"), else 1,000, 10,000 and 100,000.
#include "benchmarks/LineReporter.h"

#include "core/Decode.h"
#include "platform/posix/PosixPlatform.h"
#include "tests/support/RecordingPlatform.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A temporary C: drive with a folder of `count` long-named tracks, an empty output folder and
// a decoder folder; removed when the program ends.
class Library {
public:
    explicit Library(int count) {
        std::string pattern = (fs::temp_directory_path() / "tw-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        m_root = pattern;
        fs::create_directories(m_root / "MUSIC");
        fs::create_directories(m_root / "WAVES");
        fs::create_directories(m_root / "MPEG");
        for (int i = 1; i <= count; ++i) {
            char name[96];
            std::snprintf(name, sizeof name, "Some Artist - Long Song Title Number %05d.mp3", i);
            std::ofstream(m_root / "MUSIC" / name).put('\0');
            wchar_t wide[96];
            std::swprintf(wide, 96, L"Some Artist - Long Song Title Number %05d.mp3", i);
            input.entries.push_back(wide);
        }
        input.selected.assign(input.entries.size(), true);
        input.sourceFolder = L"C:\\MUSIC";
        input.searchAgain = true;
        state.Destination = L"C:\\WAVES\\";
        state.DecoderPath = L"C:\\MPEG";
    }
    ~Library() {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }
    std::unique_ptr<tw::posix::PosixPlatform> platform() const {
        return std::make_unique<tw::posix::PosixPlatform>(
            std::vector<tw::posix::DriveRoot>{{L'C', m_root.string()}});
    }

    tw::DecodeInput input;
    tw::AppState state;

private:
    fs::path m_root;
};

// Decode without opening a console; a Decode that does not get to the start ends the figure.
bool decode(benchmark::State& bench, Library& library, tw::Platform& platform) {
    tw::test::RecordingPlatform recording(platform);
    const tw::DecodeResult result = tw::decodeNow(recording, library.input, library.state);
    if (result.kind == tw::DecodeResult::Kind::Started && recording.batchStarts.size() == 1)
        return true;
    bench.SkipWithError(std::string(result.message.begin(), result.message.end()).c_str());
    return false;
}

// The folder of `count` tracks, made when a figure first needs it (a filter may need none).
Library& libraryOf(int count) {
    static std::map<int, std::unique_ptr<Library>> libraries;
    auto& library = libraries[count];
    if (!library)
        library = std::make_unique<Library>(count);
    return *library;
}

// A fresh platform each time: nothing cached from an earlier Decode.
void firstRun(benchmark::State& bench, int count) {
    Library* library = &libraryOf(count);
    for (auto _ : bench) {
        bench.PauseTiming();
        auto platform = library->platform();
        bench.ResumeTiming();
        if (!decode(bench, *library, *platform))
            break;
        bench.PauseTiming();
        platform.reset();
        bench.ResumeTiming();
    }
}

// The same platform again and again, as when the user decodes the same folder twice.
void repeatRun(benchmark::State& bench, int count) {
    Library* library = &libraryOf(count);
    auto platform = library->platform();
    for (auto _ : bench)
        if (!decode(bench, *library, *platform))
            break;
}

std::vector<int> fileCounts() {
    std::vector<int> counts;
    const char* given = std::getenv("TONWRIGHT_BENCH_FILES");
    std::stringstream list(given && *given ? given : "1000,10000,100000");
    std::string item;
    while (std::getline(list, item, ','))
        if (const int count = std::atoi(item.c_str()); count > 0)
            counts.push_back(count);
    return counts;
}

} // namespace

int main(int argc, char** argv) {
    // Each figure is the median of five runs, at every size alike: a large folder's Decode takes
    // longer than the benchmark's minimum time, so a figure of one run would set a single
    // sample against the mean of many.
    const auto figure = [](const std::string& name, void (*run)(benchmark::State&, int),
                           int count) {
        benchmark::RegisterBenchmark(name.c_str(), run, count)
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true);
    };
    for (const int count : fileCounts()) {
        const std::string files = std::to_string(count);
        figure("decode_" + files + "_files_first_run", firstRun, count);
        figure("decode_" + files + "_files_repeat", repeatRun, count);
    }
    return tw::bench::runWithLineReporter(argc, argv);
}
