#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>

namespace tw::bench {

// Prints one line per figure, "name: value unit", the format ./bench collects: the wall-clock
// time per iteration, then the processor time as "name_cpu". Names are the registered
// benchmark names without the argument suffixes Google Benchmark adds. A benchmark run several
// times over (Repetitions) reports its median only.
class LineReporter : public benchmark::BenchmarkReporter {
public:
    bool ReportContext(const Context&) override { return true; }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median")
                continue;
            if (run.error_occurred) {
                std::printf("%s: failed (%s)\n", run.run_name.function_name.c_str(),
                            run.error_message.c_str());
                continue;
            }
            const char* unit = benchmark::GetTimeUnitString(run.time_unit);
            std::printf("%s: %.2f %s\n", run.run_name.function_name.c_str(),
                        run.GetAdjustedRealTime(), unit);
            // On a shared machine the processor time tells the program's own cost apart from
            // waiting for a processor.
            std::printf("%s_cpu: %.2f %s\n", run.run_name.function_name.c_str(),
                        run.GetAdjustedCPUTime(), unit);
        }
        std::fflush(stdout);
    }
};

// main() for a bench program: the usual flags, figures printed as lines.
inline int runWithLineReporter(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    LineReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

} // namespace tw::bench
