// The tagged value of the settings store: a value to write, or the default of a read, with the
// kind code that decides how it is encoded.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

// Kind codes, numbered like the variant types the stored settings have always used.
enum TVarKind : uint16_t {
    varEmpty = 0,
    varNull = 1,
    varSmallint = 2, // 16-bit signed
    varInteger = 3,  // 32-bit signed
    varSingle = 4,
    varDouble = 5,
    varCurrency = 6,
    varDate = 7, // date-time held in a double
    varOleStr = 8,
    varDispatch = 9,
    varError = 10,
    varBoolean = 11,
    varVariant = 12,
    varUnknown = 13,
    varShortInt = 16, // 8-bit signed
    varByte = 17,     // 8-bit unsigned
    varWord = 18,     // 16-bit unsigned
    varLongWord = 19, // 32-bit unsigned
    varInt64 = 20,
    varStrArg = 72,
    varString = 256,
    varUString = 258,
};

// Destination code of a length-prefixed string of at most 255 characters.
inline constexpr int TypeVarShortString = 30873;

bool IsIntegerKind(int kind);
bool IsFloatKind(int kind); // single, double and date-time
bool IsStringKind(int kind);

// Shortest general text with 15 significant digits and "." as separator, whatever the locale
// ("0.0025", "6.8", "1E-5", "1.5E20").
std::string FloatToText(double value);
// Parses float text with "." as separator (blanks around it allowed); nothing when it does not parse.
std::optional<double> TextToFloat(const std::string& text);
// Parses a decimal integer within [min, max] (blanks around it allowed).
std::optional<int64_t> TextToInteger(const std::string& text, int64_t min, int64_t max);

class TVariant {
  public:
    TVariant() = default; // empty
    TVariant(int16_t v) : kind_(varSmallint), data_(int64_t{v}) {}
    TVariant(int32_t v) : kind_(varInteger), data_(int64_t{v}) {}
    TVariant(float v) : kind_(varSingle), data_(double{v}) {}
    TVariant(double v) : kind_(varDouble), data_(v) {}
    TVariant(bool v) : kind_(varBoolean), data_(v) {}
    TVariant(int8_t v) : kind_(varShortInt), data_(int64_t{v}) {}
    TVariant(uint8_t v) : kind_(varByte), data_(int64_t{v}) {}
    TVariant(uint16_t v) : kind_(varWord), data_(int64_t{v}) {}
    TVariant(uint32_t v) : kind_(varLongWord), data_(int64_t{v}) {}
    TVariant(int64_t v) : kind_(varInt64), data_(v) {}
    TVariant(std::string v) : kind_(varString), data_(std::move(v)) {}
    TVariant(const char* v) : TVariant(std::string(v)) {}

    static TVariant Null();
    static TVariant DateTime(double value);
    static TVariant WideString(std::string value);
    // A value of a kind the store cannot hold (currency, interface ...), without payload.
    static TVariant OfKind(TVarKind kind);

    TVarKind Kind() const { return kind_; }
    bool IsEmptyOrNull() const { return kind_ == varEmpty || kind_ == varNull; }
    int64_t AsInteger() const;
    double AsDouble() const;
    bool AsBool() const;
    std::string AsString() const;

    // The value converted to another kind, as a variant cast would; nothing when it cannot be.
    std::optional<TVariant> ConvertedTo(int kind) const;
    // Value comparison across kinds (an integer 2 equals a double 2.0, not 2.5).
    bool SameValue(const TVariant& other) const;

  private:
    using Payload = std::variant<std::monostate, int64_t, double, bool, std::string>;
    TVariant(TVarKind kind, Payload data) : kind_(kind), data_(std::move(data)) {}

    TVarKind kind_ = varEmpty;
    Payload data_;
};
