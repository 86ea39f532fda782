// A small JSON writer for what the dashboard answers and MQTT publishes: objects and arrays written
// in order into one string, texts escaped, numbers in a fixed "." form. No reading, no tree: the
// answers are built once, straight from the values.
#pragma once

#include <optional>
#include <string>
#include <string_view>

class TJsonWriter {
  public:
    TJsonWriter& BeginObject();
    TJsonWriter& EndObject();
    TJsonWriter& BeginArray();
    TJsonWriter& EndArray();
    // The name of the next member of an object.
    TJsonWriter& Key(std::string_view name);

    TJsonWriter& String(std::string_view text);
    TJsonWriter& Bool(bool value);
    TJsonWriter& Null();
    TJsonWriter& Integer(long long value);
    // Up to `digits` significant digits; not finite: null (JSON has no NaN).
    TJsonWriter& Number(double value, int digits = 6);
    // A number already written as text (the same text another file shows); null when empty.
    TJsonWriter& NumberText(std::string_view text);
    // The shortest text that reads back as the same single-precision value (the records' precision).
    TJsonWriter& Float(float value);
    // Thousandths as a decimal number: 1733779200123 gives 1733779200.123.
    TJsonWriter& Thousandths(long long value);
    TJsonWriter& Optional(const std::optional<double>& value, int digits = 6);

    const std::string& Text() const { return out_; }
    std::string Take() { return std::move(out_); }

  private:
    void Separate();
    std::string out_;
    bool first_ = true; // nothing written yet in the innermost object or array
    bool afterKey_ = false;
};

// A text as a JSON string literal, quotes included.
std::string JsonString(std::string_view text);

// A number already written as text, as a JSON value: the text itself, or null when it is no number
// JSON knows ("nan", "inf", empty).
std::string JsonNumberText(std::string_view text);
