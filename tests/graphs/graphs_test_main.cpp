// The pictures need fonts: the tests run inside a QGuiApplication on the offscreen platform.
#include <cstdlib>
#include <gtest/gtest.h>
#include <QGuiApplication>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
