#include "NumberEntry.h"

#include <charconv>
#include <cmath>
#include <fmt/format.h>

#include "Formula.h"
#include "UserText.h"

namespace {

// The whole text as a real number with "." as separator, whatever the locale.
bool ReadReal(const std::string& text, double& value) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first; // "+5" is a number as well
    const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
    return error == std::errc() && end == last && std::isfinite(value);
}

TNumberEntry Refused(std::string message) {
    TNumberEntry entry;
    entry.Message = std::move(message);
    return entry;
}

} // namespace

std::string GeneralFloatText(double value) {
    if (value == 0) return "0"; // never "-0"
    return fmt::format("{:.15g}", value);
}

TNumberEntry CheckNumberEntry(const std::string& text, TTypeValue type, TNumberRange range) {
    if (text.empty()) {
        TNumberEntry entry;
        entry.Ok = entry.Empty = true;
        return entry;
    }
    const bool ranged = range.MaxValue != range.MinValue;
    try {
        if (type == TTypeValue::Int) {
            const double v = EvaluateFormula(text);
            const double n = std::round(v);
            // Beyond 2^53 a double no longer tells integers apart.
            if (v != n || std::fabs(n) > 9007199254740992.0)
                return Refused(text + Tr("NumberEdit", " n'est pas une valeur entière valide !"));
            if (ranged && n > range.MaxValue)
                return Refused(Tr("NumberEdit", "Nombre trop grand par rapport à :") +
                               fmt::format("{:.0f}", std::round(range.MaxValue)));
            if (ranged && n < range.MinValue)
                return Refused(Tr("NumberEdit", "Nombre trop petit par rapport à  :") +
                               fmt::format("{:.0f}", std::round(range.MinValue)));
            TNumberEntry entry;
            entry.Ok = true;
            entry.Value = n == 0 ? 0 : n;
            entry.Text = fmt::format("{:.0f}", entry.Value);
            return entry;
        }
        double v = 0;
        if (!ReadReal(text, v)) v = EvaluateFormula(text);
        if (!std::isfinite(v)) return Refused(text + Tr("NumberEdit", " n'est pas une valeur réelle valide !"));
        if (ranged && !(v <= range.MaxValue))
            return Refused(Tr("NumberEdit", "Nombre trop grand par rapport à :") + GeneralFloatText(range.MaxValue));
        if (ranged && v < range.MinValue)
            return Refused(Tr("NumberEdit", "Nombre trop petit par rapport à  :") + GeneralFloatText(range.MinValue));
        TNumberEntry entry;
        entry.Ok = true;
        entry.Value = v;
        entry.Text = GeneralFloatText(v);
        return entry;
    } catch (const EFormuleError& e) {
        return Refused(e.what());
    }
}
