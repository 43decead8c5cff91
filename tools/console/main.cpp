// tonwright-console: runs the batch script Tonwright writes, in the terminal window the
// program opened for it, as the console runs it on Windows.
#include "Console.h"

#include "platform/posix/PosixLauncher.h"
#include "platform/posix/PosixPlatform.h"

#include <csignal>
#include <cstring>
#include <iostream>
#include <string>

#include <unistd.h>

namespace {

// What the batch did, for its last line and for the desktop.
struct Ending {
    std::string line;  // the console's last line
    std::string title; // the desktop notification's, empty for none
    std::string body;
};

Ending endingOf(const tw::console::Interpreter& interpreter, tw::Platform& platform, bool ok) {
    const tw::console::Batch& batch = interpreter.batch();
    const auto eightBit = [&](const std::wstring& text) { return platform.toEightBit(text); };
    const std::string decoded = eightBit(batch.decodedText());
    const std::string of = std::to_string(batch.failed()) + " of " + std::to_string(batch.files()) +
                           (batch.files() == 1 ? " file" : " files");
    if (const int signal = tw::console::stopSignal()) {
        const std::string stopped =
            "the batch was stopped (" + std::string(::strsignal(signal)) + ") after " + decoded;
        return {stopped + ".", "Tonwright: decoding stopped", stopped};
    }
    if (ok) {
        const std::string done = batch.files() > 0 ? decoded : "every line ran";
        return {"done without a failure: " + done, "Tonwright: decoding finished", done};
    }
    if (batch.failed() == 0) {
        const auto failures = interpreter.failures();
        return {std::to_string(failures) + (failures == 1 ? " step" : " steps") +
                    " failed (see above).",
                "Tonwright: decoding failed",
                std::to_string(failures) + " failed; the console window shows why"};
    }
    return {of + " failed (see above); " + decoded + ".", "Tonwright: decoding failed",
            of + " failed; the console window shows why"};
}

} // namespace

int main(int argc, char** argv) {
    const std::string usage = "usage: tonwright-console SCRIPT\n"
                              "Runs a batch script written by Tonwright, one line after "
                              "another, as the console runs it on Windows.\n";
    if (argc == 2 && std::string(argv[1]) == "--help") {
        std::cout << usage;
        return 0;
    }
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::cout << "tonwright-console " << TW_VERSION << '\n';
        return 0;
    }
    if (argc != 2) {
        std::cerr << usage;
        return 2;
    }
    tw::posix::PosixPlatform platform;
    tw::console::installStopHandlers();
    tw::console::Interpreter interpreter(platform, std::cout, std::cerr);
    interpreter.setStatusLine(::isatty(STDOUT_FILENO) == 1);
    const bool ok = interpreter.runScript(argv[1]);
    const Ending ending = endingOf(interpreter, platform, ok);
    const int signal = tw::console::stopSignal();
    // In minimized mode nobody watches the window: the desktop hears how it went.
    tw::posix::notifyDesktop(ending.title, ending.body);
    if (ok) {
        std::cout << "\ntonwright-console: " << ending.line << std::endl;
        return 0;
    }
    if (signal != 0) {
        std::cout << "\ntonwright-console: " << ending.line << std::endl;
        return 128 + signal;
    }
    std::cout << "\ntonwright-console: " << ending.line;
    if (::isatty(STDIN_FILENO)) {
        // The window closes with us: keep it open until the user has read what went wrong.
        std::cout << " Press Enter to close this window." << std::flush;
        std::string answer;
        std::getline(std::cin, answer);
    } else {
        std::cout << std::endl;
    }
    return 1;
}
