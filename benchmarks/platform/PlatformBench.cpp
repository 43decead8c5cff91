// Short names and listings of one crowded directory: Decode asks for the short name of every
// selected file, and a music folder can hold ten thousand of them.
#include "benchmarks/LineReporter.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/ShortNames.h"
#include "platform/posix/Text.h"
#include "tests/support/TempDrives.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

namespace {

constexpr int kFiles = 10000;

std::wstring fileName(int i) {
    // Mostly long names on few bases (long numeric-tail runs), some valid 8.3 names.
    if (i % 10 == 0)
        return L"trk" + std::to_wstring(i) + L".mp3";
    return L"Long Song Title " + std::to_wstring(i) + L".mp3";
}

struct CrowdedFolder {
    CrowdedFolder() {
        drives.createDirectory(L"C:\\Music Library");
        for (int i = 0; i < kFiles; ++i) {
            const std::wstring path = L"C:\\Music Library\\" + fileName(i);
            drives.createFile(path);
            paths.push_back(drives.platform().toEightBit(path));
        }
        // Past the window in which a fresh directory's table is not trusted.
        ::usleep(200'000);
    }
    tw::test::TempDrives drives;
    std::vector<std::string> paths;
};

CrowdedFolder& folder() {
    static CrowdedFolder instance;
    return instance;
}

// One iteration is what Decode does for ten thousand selected files.
void ShortPathOfEveryFile(benchmark::State& state) {
    CrowdedFolder& crowded = folder();
    const tw::Platform& platform = crowded.drives.platform();
    char buffer[64];
    for (auto _ : state) {
        for (const std::string& path : crowded.paths) {
            const std::uint32_t length =
                platform.GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
            if (length == 0 || length >= sizeof buffer)
                state.SkipWithError("short name missing");
            benchmark::DoNotOptimize(buffer);
        }
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(ShortPathOfEveryFile)
    ->Name("platform_short_path_of_every_file")
    ->Unit(benchmark::kMillisecond);

// Building the table once, as after every change of the directory.
void BuildShortNameTable(benchmark::State& state) {
    std::vector<std::string> names;
    for (int i = 0; i < kFiles; ++i)
        names.push_back(tw::posix::toUtf8(fileName(i)));
    for (auto _ : state) {
        tw::posix::ShortNameTable table(names);
        benchmark::DoNotOptimize(table.size());
    }
}
BENCHMARK(BuildShortNameTable)
    ->Name("platform_build_short_name_table")
    ->Unit(benchmark::kMillisecond);

void ListEveryFile(benchmark::State& state) {
    CrowdedFolder& crowded = folder();
    std::vector<std::wstring> names;
    for (auto _ : state) {
        if (!crowded.drives.platform().listFiles(L"C:\\Music Library", L"*.mp3", names))
            state.SkipWithError("listing failed");
        benchmark::DoNotOptimize(names.data());
    }
}
BENCHMARK(ListEveryFile)->Name("platform_list_every_file")->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return tw::bench::runWithLineReporter(argc, argv);
}
