// Test entry point: a GUI application on the offscreen platform (test
// discovery runs the binary without the test's environment, so the default
// is set here), with the screen pinned to 96 pixels per inch.
#include "platform/screen.h"

#include <gtest/gtest.h>
#include <QGuiApplication>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    SetScreenPixelsPerInch(96);
    return RUN_ALL_TESTS();
}
