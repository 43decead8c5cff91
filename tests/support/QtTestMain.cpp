// The main of the test programs that need the toolkit: the offscreen platform unless one is
// asked for (test discovery runs the program without the tests' environment, and there may be
// no display at all), and the application set up as the program sets it up.
#include "ui/Application.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    tw::setUpApplication();
    return RUN_ALL_TESTS();
}
