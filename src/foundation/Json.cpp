#include "Json.h"

#include <cmath>
#include <fmt/format.h>

namespace {

// The length of the well-formed UTF-8 sequence starting text[at] (no overlong forms, no surrogates,
// nothing past U+10FFFF), or 0.
size_t Utf8Length(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    size_t length;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (size_t k = 2; k < length; ++k)
        if ((byte(at + k) & 0xC0) != 0x80) return 0;
    return length;
}

} // namespace

std::string JsonString(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (size_t at = 0; at < text.size(); ++at) {
        const char ch = text[at];
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80) {
            // JSON is UTF-8: a byte that starts no valid sequence (a query's %FF, a setting saved in
            // Latin-1) is written as U+FFFD, never as itself.
            const size_t length = Utf8Length(text, at);
            if (length == 0) {
                out += "\\ufffd";
            } else {
                out.append(text.substr(at, length));
                at += length - 1;
            }
            continue;
        }
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
