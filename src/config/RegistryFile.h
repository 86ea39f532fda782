// The settings file as text: the registry store's value texts stand after "name=" exactly as
// they are stored ("my;secret#pw" with its quotes, Yes, 0.0025), nothing is escaped, and every
// line the program does not use (comments, values it does not know, stray text) is written back
// as it was found. Files written by earlier versions through Qt's INI format (backslash escapes,
// "@ByteArray(...)", keys such as "Sounds\Sound_at_RelayClose" under "[Config]") read the same.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A key path below the root: {"Config", "Sounds"}; empty for the root itself.
using TRegistryPath = std::vector<std::string>;

// "\Config\Sounds\" -> {"Config", "Sounds"}.
TRegistryPath RegistryPathOf(std::string_view registryPath);

// A value as stored: the registry store's text, or bytes (date-times).
struct TStoredValue {
    enum class Kind { Text, Bytes, Other };
    Kind Type = Kind::Text;
    std::string Data;
    bool operator==(const TStoredValue&) const = default;
};

// What the text after '=' holds.
TStoredValue DecodeStoredValue(std::string_view raw);
// The text to put after '=' so that DecodeStoredValue gives the value back: the value's own text
// whenever it reads back unchanged, else the escaped form earlier versions wrote.
std::string EncodeStoredValue(const TStoredValue& value);

class TRegistryFile {
  public:
    // Larger files are not settings files.
    static constexpr size_t MaxSize = 1 << 20;

    // Nothing when the text is no settings file at all: binary data, or lines none of which is a
    // section or a value.
    static std::optional<TRegistryFile> Parse(std::string_view text);
    std::string Text() const;

    // The text after '=' of the value `name` of key `key` (names without regard to case; the
    // last one when a file names it twice), or nothing.
    std::optional<std::string> Raw(const TRegistryPath& key, std::string_view name) const;
    // Whether the key exists: a section names it or a value lies at or below it (the root:
    // whether any value exists).
    bool HasKey(const TRegistryPath& key) const;
    // Replaces the value's text in its line, or adds a line where the key's values are.
    void Set(const TRegistryPath& key, std::string_view name, const std::string& raw);
    // Removes the values and sections of the key and of its sub-keys; other lines stay.
    void Remove(const TRegistryPath& key);

  private:
    enum class LineKind { Other, Section, Value };
    struct Line {
        std::string Text; // as in the file, without its line end
        LineKind Kind = LineKind::Other;
        TRegistryPath Key;     // a section: its path; a value: the key it belongs to
        std::string Name;      // a value's name
        std::string KeyPrefix; // a value: its name's text up to its last separator ("Sounds\")
        size_t ValueAt = 0;    // a value: where its text starts in Text
    };
    static Line ParseLine(std::string_view text, const TRegistryPath& section);
    std::optional<size_t> FindValue(const TRegistryPath& key, std::string_view name) const;

    std::vector<Line> lines_;
    bool crlf_ = false;
    bool bom_ = false;
};
