// How fast the main window comes up, and how fast a large folder of tracks appears in it.
#include "benchmarks/LineReporter.h"
#include "platform/posix/PosixPlatform.h"
#include "tests/support/TempDrives.h"
#include "ui/Application.h"
#include "ui/DirList.h"
#include "ui/FileList.h"
#include "ui/Form1.h"

#include <QApplication>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace {

constexpr int kTracks = 10000;

// C:\BIG holds 10,000 tracks, C:\MUSIC a handful; the process starts in C:\MUSIC.
struct Machine {
    Machine() {
        for (int i = 1; i <= kTracks; ++i) {
            wchar_t name[64];
            std::swprintf(name, 64, L"C:\\BIG\\Track %05d.mp3", i);
            drives.createFile(name);
        }
        for (const wchar_t* name : {L"C:\\MUSIC\\track01.mp3", L"C:\\MUSIC\\track02.mp3"})
            drives.createFile(name);
    }
    // A platform that has read nothing yet, over the same folders.
    std::unique_ptr<tw::Platform> freshPlatform() {
        auto platform = std::make_unique<tw::posix::PosixPlatform>(
            std::vector<tw::posix::DriveRoot>{{L'C', drives.native(L"C:\\")}});
        (void)platform->setCurrentDirectory(L"C:\\MUSIC");
        return platform;
    }
    tw::test::TempDrives drives{L'C'};
};

// Opening C:\BIG in Dir1 until File1 lists its tracks, on a platform that has not read it yet.
void openLargeDirectoryFirstTime(benchmark::State& bench, Machine* machine) {
    for (auto _ : bench) {
        bench.PauseTiming();
        auto platform = machine->freshPlatform();
        auto form = std::make_unique<tw::Form1>(*platform);
        form->show();
        QApplication::processEvents();
        bench.ResumeTiming();

        const bool opened = form->Dir1->setPath(QStringLiteral("C:\\BIG"));
        QApplication::processEvents(); // painted
        if (!opened || form->File1->listCount() != kTracks) {
            bench.SkipWithError("C:\\BIG did not list its 10,000 tracks");
            break;
        }

        bench.PauseTiming();
        form.reset();
        platform.reset();
        bench.ResumeTiming();
    }
}

// The same, going back and forth between two folders in one running window.
void openLargeDirectoryAgain(benchmark::State& bench, Machine* machine) {
    auto platform = machine->freshPlatform();
    tw::Form1 form(*platform);
    form.show();
    for (auto _ : bench) {
        bench.PauseTiming();
        (void)form.Dir1->setPath(QStringLiteral("C:\\MUSIC"));
        QApplication::processEvents();
        bench.ResumeTiming();
        const bool opened = form.Dir1->setPath(QStringLiteral("C:\\BIG"));
        QApplication::processEvents();
        if (!opened || form.File1->listCount() != kTracks) {
            bench.SkipWithError("C:\\BIG did not list its 10,000 tracks");
            break;
        }
    }
}

// Creating the main window and showing it, until it has been painted.
void createAndShowMainWindow(benchmark::State& bench, Machine* machine) {
    for (auto _ : bench) {
        bench.PauseTiming();
        auto platform = machine->freshPlatform();
        bench.ResumeTiming();
        auto form = std::make_unique<tw::Form1>(*platform);
        form->show();
        QApplication::processEvents();
        bench.PauseTiming();
        form.reset();
        platform.reset();
        bench.ResumeTiming();
    }
}

} // namespace

int main(int argc, char** argv) {
    // Only the figures matter here: the offscreen platform's warnings (one at every fixed-size
    // window) would bury them.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtWarningMsg && type != QtInfoMsg && type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tw::setUpApplication();
    const std::filesystem::path startDirectory = std::filesystem::current_path();
    int result = 0;
    {
        Machine machine;
        benchmark::RegisterBenchmark("ui_open_10000_mp3_directory_first_time",
                                     openLargeDirectoryFirstTime, &machine)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("ui_open_10000_mp3_directory_again", openLargeDirectoryAgain,
                                     &machine)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("ui_create_and_show_main_window", createAndShowMainWindow,
                                     &machine)
            ->Unit(benchmark::kMillisecond);
        result = tw::bench::runWithLineReporter(argc, argv);
        std::filesystem::current_path(startDirectory); // before the folders go
    }
    return result;
}
