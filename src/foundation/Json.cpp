#include "Json.h"

#include <cmath>
#include <fmt/format.h>

std::string JsonString(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '<':
            // Never "</script>" when the text is placed in a page.
            out += "\\u003c";
            break;
        default:
            if (c < 0x20)
                out += fmt::format("\\u{:04x}", c);
            else
                out += ch;
        }
    }
    out += '"';
    return out;
}

void TJsonWriter::Separate() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!first_) out_ += ',';
    first_ = false;
}

TJsonWriter& TJsonWriter::BeginObject() {
    Separate();
    out_ += '{';
    first_ = true;
    return *this;
}

TJsonWriter& TJsonWriter::EndObject() {
    out_ += '}';
    first_ = false;
    return *this;
}

TJsonWriter& TJsonWriter::BeginArray() {
    Separate();
    out_ += '[';
    first_ = true;
    return *this;
}

TJsonWriter& TJsonWriter::EndArray() {
    out_ += ']';
    first_ = false;
    return *this;
}

TJsonWriter& TJsonWriter::Key(std::string_view name) {
    Separate();
    out_ += JsonString(name);
    out_ += ':';
    afterKey_ = true;
    return *this;
}

TJsonWriter& TJsonWriter::String(std::string_view text) {
    Separate();
    out_ += JsonString(text);
    return *this;
}

TJsonWriter& TJsonWriter::Bool(bool value) {
    Separate();
    out_ += value ? "true" : "false";
    return *this;
}

TJsonWriter& TJsonWriter::Null() {
    Separate();
    out_ += "null";
    return *this;
}

TJsonWriter& TJsonWriter::Integer(long long value) {
    Separate();
    fmt::format_to(std::back_inserter(out_), "{}", value);
    return *this;
}

TJsonWriter& TJsonWriter::Number(double value, int digits) {
    if (!std::isfinite(value)) return Null();
    Separate();
    if (value == 0) value = 0; // no "-0"
    fmt::format_to(std::back_inserter(out_), "{:.{}g}", value, digits);
    return *this;
}

namespace {

// "nan", "inf" or an empty field are not numbers JSON knows.
bool IsJsonNumber(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789.eE+-") == std::string_view::npos &&
           text.find_first_of("0123456789") != std::string_view::npos;
}

} // namespace

std::string JsonNumberText(std::string_view text) {
    return IsJsonNumber(text) ? std::string(text) : std::string("null");
}

TJsonWriter& TJsonWriter::NumberText(std::string_view text) {
    if (!IsJsonNumber(text)) return Null();
    Separate();
    out_ += text;
    return *this;
}

TJsonWriter& TJsonWriter::Optional(const std::optional<double>& value, int digits) {
    return value ? Number(*value, digits) : Null();
}

TJsonWriter& TJsonWriter::Float(float value) {
    if (!std::isfinite(value)) return Null();
    Separate();
    if (value == 0) value = 0;
    fmt::format_to(std::back_inserter(out_), "{}", value);
    return *this;
}

TJsonWriter& TJsonWriter::Thousandths(long long value) {
    Separate();
    const bool negative = value < 0;
    const unsigned long long v = negative ? 0ULL - static_cast<unsigned long long>(value) : value;
    fmt::format_to(std::back_inserter(out_), "{}{}.{:03}", negative ? "-" : "", v / 1000, v % 1000);
    return *this;
}
