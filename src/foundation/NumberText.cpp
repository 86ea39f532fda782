#include "NumberText.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>
#include <fmt/printf.h>

namespace {

// Float-to-text in the general format: up to 15 significant digits, "1E-5" style exponents.
std::string GeneralFloatText(double value) {
    std::string text = fmt::format("{:.15G}", value);
    const auto e = text.find('E');
    if (e == std::string::npos) return text;
    std::string mantissa = text.substr(0, e);
    const char sign = text[e + 1];
    std::string digits = text.substr(e + 2);
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
    return mantissa + "E" + (sign == '-' ? "-" : "") + digits;
}

} // namespace

std::string AdaptiveFloatText(double v) {
    const double a = std::fabs(v);
    if (a > 1000) return fmt::sprintf("%1.0f", v);
    if (a > 100) return fmt::sprintf("%1.1f", v);
    if (a > 10) return fmt::sprintf("%1.2f", v);
    if (a > 1) return fmt::sprintf("%1.3f", v);
    if (a > 0.1) return fmt::sprintf("%1.4f", v);
    if (a > 0.01) return fmt::sprintf("%1.5f", v);
    if (a > 0.001) return fmt::sprintf("%1.6f", v);
    return GeneralFloatText(v);
}
