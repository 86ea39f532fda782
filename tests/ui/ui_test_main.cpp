// Widget tests run inside a real application object on the offscreen platform.
#include <cstdlib>
#include <gtest/gtest.h>
#include <QApplication>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
