// The main of the test programs that need the toolkit: the offscreen platform unless one is
// asked for (test discovery runs the program without the tests' environment, and there may be
// no display at all), and the application set up as the program sets it up. A Windows build has
// only the system's own window platform, and names it in TW_TEST_QPA.
#include "ui/Application.h"

#include <QApplication>
#include <gtest/gtest.h>

#ifndef TW_TEST_QPA
#define TW_TEST_QPA "offscreen"
#endif

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", TW_TEST_QPA);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    tw::setUpApplication();
    return RUN_ALL_TESTS();
}
