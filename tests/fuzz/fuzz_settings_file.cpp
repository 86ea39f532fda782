// The settings file as a user may have edited it: any text the reader accepts is written back in a
// form that reads the same and is written again unchanged, a value set through the store reads back
// as it was set, and every value text decodes to what encodes it again.
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "RegistryFile.h"

namespace {

// Values reach the store from Qt strings: always valid UTF-8.
bool ValidUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        uint32_t cp = n == 1 ? c : c & (0x7F >> n);
        for (size_t k = 1; k < n; ++k) {
            const auto d = static_cast<unsigned char>(s[i + k]);
            if ((d >> 6) != 2) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        static constexpr uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += n;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (size > TRegistryFile::MaxSize) return 0;

    auto file = TRegistryFile::Parse(text);
    if (!file) return 0;
    const std::string written = file->Text();
    const auto again = TRegistryFile::Parse(written);
    FUZZ_CHECK(again.has_value(), "a written file no longer reads");
    FUZZ_CHECK(again->Text() == written, "a second write differs from the first (%zu / %zu bytes)",
               again->Text().size(), written.size());

    // The value texts of the file: each decodes to a value that encodes to a text decoding the same.
    size_t lineStart = 0;
    while (lineStart < written.size()) {
        size_t lineEnd = written.find('\n', lineStart);
        if (lineEnd == std::string::npos) lineEnd = written.size();
        const std::string_view line(written.data() + lineStart, lineEnd - lineStart);
        if (const size_t eq = line.find('='); eq != std::string_view::npos) {
            std::string_view raw = line.substr(eq + 1);
            if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
            const TStoredValue value = DecodeStoredValue(raw);
            if (value.Type != TStoredValue::Kind::Other) {
                const std::string encoded = EncodeStoredValue(value);
                FUZZ_CHECK(DecodeStoredValue(encoded) == value, "value text '%.*s' encodes to '%s', which decodes otherwise",
                           int(raw.size()), raw.data(), encoded.c_str());
            }
        }
        lineStart = lineEnd + 1;
    }

    // A value set in the parsed file reads back as set, and survives a write and a read.
    if (!ValidUtf8(text.substr(0, std::min<size_t>(size, 64)))) return 0;
    const TStoredValue typed{TStoredValue::Kind::Text, std::string(text.substr(0, std::min<size_t>(size, 64)))};
    const std::string raw = EncodeStoredValue(typed);
    const TRegistryPath key{"Config", "Fuzz"};
    file->Set(key, "Typed", raw);
    const auto reread = TRegistryFile::Parse(file->Text());
    FUZZ_CHECK(reread.has_value(), "a file with a value set no longer reads");
    const auto back = reread->Raw(key, "Typed");
    FUZZ_CHECK(back.has_value() && DecodeStoredValue(*back) == typed, "a value set as '%s' reads back as '%s'",
               raw.c_str(), back ? back->c_str() : "(nothing)");
    return 0;
}
