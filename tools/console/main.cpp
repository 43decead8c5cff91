// tonwright-console: runs the batch script Tonwright writes, in the terminal window the
// program opened for it, as the console runs it on Windows.
#include "Console.h"

#include "platform/Platform.h"

#include <iostream>
#include <string>

#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: tonwright-console SCRIPT\n"
                     "Runs a batch script written by Tonwright, line by line.\n";
        return 2;
    }
    auto platform = tw::createSystemPlatform();
    tw::console::Interpreter interpreter(*platform, std::cout, std::cerr);
    const bool ok = interpreter.runScript(argv[1]);
    if (!ok && ::isatty(STDIN_FILENO)) {
        // The window closes with us: keep it open until the user has read what went wrong.
        const auto failures = interpreter.failures();
        std::cout << "\ntonwright-console: " << failures << (failures == 1 ? " step" : " steps")
                  << " failed (see above). Press Enter to close this window." << std::flush;
        std::string answer;
        std::getline(std::cin, answer);
    }
    return ok ? 0 : 1;
}
