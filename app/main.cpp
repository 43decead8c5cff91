#include "platform/Platform.h"
#include "ui/Application.h"
#include "ui/Form1.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    tw::setUpApplication();
    const std::unique_ptr<tw::Platform> platform = tw::createSystemPlatform();
    tw::Form1 window(*platform);
    // The load may run the Setup dialog before the window is shown; closing that dialog must
    // not count as closing the program's last window.
    app.setQuitOnLastWindowClosed(false);
    window.Form_Load();
    app.setQuitOnLastWindowClosed(true);
    window.show();
    return app.exec();
}
