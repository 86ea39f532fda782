// Number-to-text conversions that are not words: the same in every language and in every file.
#pragma once

#include <string>

// A value with more decimals the smaller it is; below 0.001 the general float-to-text form ("1E-5").
std::string AdaptiveFloatText(double value);
