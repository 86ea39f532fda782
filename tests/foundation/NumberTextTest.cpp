#include <gtest/gtest.h>

#include <string>

#include "NumberText.h"

namespace {

TEST(NumberTextTest, AdaptiveFloatText) {
    const std::pair<double, std::string> cases[] = {
        {2000.7, "2001"},     {1000, "1000.0"},
        {150.44, "150.4"},    {12.3456, "12.35"},
        {2.5, "2.500"},       {-2.5, "-2.500"},
        {0.5, "0.5000"},      {0.05, "0.05000"},
        {0.005, "0.005000"},  {0.0005, "0.0005"},
        {0.00001, "1E-5"},    {0, "0"},
        {-0.0005, "-0.0005"}, {0.000123456, "0.000123456"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(AdaptiveFloatText(value), text) << value;
}

} // namespace
