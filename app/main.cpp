#include "platform/Platform.h"
#include "platform/Text.h"
#include "ui/Application.h"
#include "ui/Form1.h"

#include <QApplication>
#include <QFileInfo>

#include <cstdio>
#include <cstring>

namespace {

// The answers that need no window, given before the toolkit starts (it may not be able to).
// Returns -1 when the program should go on and open its window.
int answerCommandLine(int argc, char* argv[]) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf(
            "usage: tonwright [--help] [--version] [FILE.mp3... | FOLDER]\n"
            "Opens the window: browse to a folder of .mp3 files, select some, choose an\n"
            "output format and folder, and press Decode. The files are decoded by l3dec\n"
            "in a console window, through the batch script TEMP.BAT in the decoder folder.\n"
            "Files or a folder given open the window there, with those .mp3 files selected.\n"
            "The settings are kept in tonwright.ini beside the program, or in the user's\n"
            "configuration folder where the program's folder is not the user's.\n");
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tonwright %s\n", TW_VERSION);
        return 0;
    }
    if (argc > 1 && argv[1][0] == '-' && std::strcmp(argv[1], "--") != 0 &&
        std::strncmp(argv[1], "-platform", 9) != 0 && std::strncmp(argv[1], "-style", 6) != 0) {
        std::fprintf(stderr, "tonwright: unknown option %s (try --help)\n", argv[1]);
        return 2;
    }
    if (const std::wstring why = tw::whyNoWindowCanOpen(); !why.empty()) {
        std::fprintf(stderr,
                     "tonwright: %s; start it from a desktop session, or on a virtual display: "
                     "xvfb-run tonwright\n",
                     tw::text::toUtf8(why).c_str());
        return 1;
    }
    return -1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (const int answered = answerCommandLine(argc, argv); answered >= 0)
        return answered;
    QApplication app(argc, argv);
    // What is left once the toolkit has taken its own options: files and folders to open, named
    // from where we were started.
    QStringList paths;
    for (const QString& argument : app.arguments().mid(1))
        if (argument != QLatin1String("--"))
            paths << QFileInfo(argument).absoluteFilePath();
    tw::setUpApplication();
    const std::unique_ptr<tw::Platform> platform = tw::createSystemPlatform();
    tw::Form1 window(*platform);
    // The load may run the Setup dialog before the window is shown; closing that dialog must
    // not count as closing the program's last window.
    app.setQuitOnLastWindowClosed(false);
    window.Form_Load();
    app.setQuitOnLastWindowClosed(true);
    window.show();
    if (!paths.isEmpty())
        window.openFromCommandLine(paths);
    return app.exec();
}
