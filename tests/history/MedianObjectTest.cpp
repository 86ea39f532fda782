#include <gtest/gtest.h>

#include <vector>

#include "MedianObject.h"

namespace {

struct MedianCase {
    int window;
    std::vector<double> pushed;
    double expected; // median after the last push
};

TEST(MedianObject, FillsThenReturnsMedianOfTheWindow) {
    const MedianCase cases[] = {
        {5, {1, 9, 2, 8, 3}, 3},
        {5, {1, 9, 2, 8, 3, 100}, 8}, // the 1 drops out: window 9, 2, 8, 3, 100
        {4, {1, 2, 3, 4}, 3},         // even window: the upper middle, no averaging
        {1, {7}, 7},
    };
    for (const auto& c : cases) {
        TMedianObject median(c.window);
        double value = -999;
        for (size_t i = 0; i < c.pushed.size(); ++i) {
            const bool full = median.Return(c.pushed[i], value);
            EXPECT_EQ(full, static_cast<int>(i) + 1 >= c.window) << "window " << c.window << " push " << i;
            if (!full) {
                EXPECT_EQ(value, -999) << "value must stay untouched while filling";
            }
        }
        EXPECT_EQ(value, c.expected) << "window " << c.window;
    }
}

} // namespace
