#include "RegistryVariant.h"

#include <charconv>
#include <cmath>
#include <fmt/format.h>

bool IsIntegerKind(int kind) {
    switch (kind) {
    case varSmallint:
    case varInteger:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64:
        return true;
    default:
        return false;
    }
}

bool IsFloatKind(int kind) {
    return kind == varSingle || kind == varDouble || kind == varDate;
}

bool IsStringKind(int kind) {
    return kind == varString || kind == varUString;
}

namespace {

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Wraps an integer to the width and signedness of an integer kind, as a store of that many bytes does.
int64_t WrapToKind(int64_t value, int kind) {
    switch (kind) {
    case varSmallint:
        return static_cast<int16_t>(value);
    case varInteger:
        return static_cast<int32_t>(value);
    case varShortInt:
        return static_cast<int8_t>(value);
    case varByte:
        return static_cast<uint8_t>(value);
    case varWord:
        return static_cast<uint16_t>(value);
    case varLongWord:
        return static_cast<uint32_t>(value);
    default:
        return value;
    }
}

} // namespace

std::string FloatToText(double value) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    if (value == 0) return "0";
    // fmt never follows the C locale, so "." holds even under a French LC_NUMERIC.
    std::string text = fmt::format("{:.15g}", value);
    const auto e = text.find('e');
    if (e == std::string::npos) return text;
    // "1.5e+20" -> "1.5E20", "1e-05" -> "1E-5"
    std::string mantissa = text.substr(0, e);
    std::string exponent = text.substr(e + 1);
    const char* sign = "";
    if (!exponent.empty() && (exponent[0] == '+' || exponent[0] == '-')) {
        if (exponent[0] == '-') sign = "-";
        exponent.erase(0, 1);
    }
    const auto digits = exponent.find_first_not_of('0');
    exponent = digits == std::string::npos ? "0" : exponent.substr(digits);
    return mantissa + "E" + sign + exponent;
}

std::optional<double> TextToFloat(const std::string& text) {
    std::string_view t = Trimmed(text);
    if (!t.empty() && t[0] == '+') t.remove_prefix(1);
    if (t.empty()) return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
    return value;
}

std::optional<int64_t> TextToInteger(const std::string& text, int64_t min, int64_t max) {
    std::string_view t = Trimmed(text);
    if (!t.empty() && t[0] == '+') t.remove_prefix(1);
    if (t.empty()) return std::nullopt;
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
    if (value < min || value > max) return std::nullopt;
    return value;
}

TVariant TVariant::Null() {
    return TVariant(varNull, std::monostate{});
}

TVariant TVariant::DateTime(double value) {
    return TVariant(varDate, value);
}

TVariant TVariant::WideString(std::string value) {
    return TVariant(varUString, std::move(value));
}

TVariant TVariant::OfKind(TVarKind kind) {
    return TVariant(kind, std::monostate{});
}

int64_t TVariant::AsInteger() const {
    if (const auto* i = std::get_if<int64_t>(&data_)) return *i;
    if (const auto* d = std::get_if<double>(&data_)) return static_cast<int64_t>(std::nearbyint(*d));
    if (const auto* b = std::get_if<bool>(&data_)) return *b ? 1 : 0;
    return 0;
}

double TVariant::AsDouble() const {
    if (const auto* d = std::get_if<double>(&data_)) return *d;
    if (const auto* i = std::get_if<int64_t>(&data_)) return static_cast<double>(*i);
    if (const auto* b = std::get_if<bool>(&data_)) return *b ? 1.0 : 0.0;
    return 0;
}

bool TVariant::AsBool() const {
    if (const auto* b = std::get_if<bool>(&data_)) return *b;
    if (const auto* i = std::get_if<int64_t>(&data_)) return *i != 0;
    if (const auto* d = std::get_if<double>(&data_)) return *d != 0;
    return false;
}

std::string TVariant::AsString() const {
    if (const auto* s = std::get_if<std::string>(&data_)) return *s;
    if (const auto* i = std::get_if<int64_t>(&data_)) return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&data_)) return FloatToText(*d);
    if (const auto* b = std::get_if<bool>(&data_)) return *b ? "True" : "False";
    return {};
}

std::optional<TVariant> TVariant::ConvertedTo(int kind) const {
    const auto target = static_cast<TVarKind>(kind);
    if (kind == varEmpty || kind == varNull) return TVariant(target, std::monostate{});
    if (std::holds_alternative<std::monostate>(data_)) {
        if (kind == kind_) return *this;
        return std::nullopt;
    }
    const auto* text = std::get_if<std::string>(&data_);
    if (IsIntegerKind(kind)) {
        int64_t value = 0;
        if (text) {
            const auto parsed = TextToInteger(*text, INT64_MIN, INT64_MAX);
            if (!parsed) return std::nullopt;
            value = *parsed;
        } else if (const auto* d = std::get_if<double>(&data_)) {
            if (!std::isfinite(*d) || std::fabs(*d) > 9.2e18) return std::nullopt;
            value = static_cast<int64_t>(std::nearbyint(*d));
        } else {
            value = AsInteger();
        }
        return TVariant(target, WrapToKind(value, kind));
    }
    if (IsFloatKind(kind)) {
        double value = 0;
        if (text) {
            const auto parsed = TextToFloat(*text);
            if (!parsed) return std::nullopt;
            value = *parsed;
        } else {
            value = AsDouble();
        }
        if (kind == varSingle) value = static_cast<float>(value);
        return TVariant(target, value);
    }
    if (kind == varBoolean) {
        if (text) return std::nullopt;
        return TVariant(target, AsBool());
    }
    if (IsStringKind(kind)) return TVariant(target, AsString());
    // Kinds the store does not handle keep their payload; the read reports them further on.
    return TVariant(target, data_);
}

bool TVariant::SameValue(const TVariant& other) const {
    const bool noPayload = std::holds_alternative<std::monostate>(data_);
    const bool otherNoPayload = std::holds_alternative<std::monostate>(other.data_);
    if (noPayload || otherNoPayload) return noPayload && otherNoPayload && kind_ == other.kind_;
    const auto* text = std::get_if<std::string>(&data_);
    const auto* otherText = std::get_if<std::string>(&other.data_);
    if (text && otherText) return *text == *otherText;
    if (text || otherText) {
        const auto number = TextToFloat(text ? *text : *otherText);
        return number && *number == (text ? other.AsDouble() : AsDouble());
    }
    const auto* i = std::get_if<int64_t>(&data_);
    const auto* otherI = std::get_if<int64_t>(&other.data_);
    if (i && otherI) return *i == *otherI;
    return AsDouble() == other.AsDouble();
}
