// Widget tests run inside the program's application object on the offscreen platform: errors that
// escape a handler reach the exception dialog, texts go through the program's translator.
#include <cstdlib>
#include <gtest/gtest.h>

#include "Language.h"
#include "OrvanelApplication.h"

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    TOrvanelApplication app(argc, argv, false);
    Languages::Install();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
