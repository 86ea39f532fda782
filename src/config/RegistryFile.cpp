#include "RegistryFile.h"

#include <algorithm>
#include <QString>

namespace {

// ---- Text helpers ---------------------------------------------------------------------------

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin())) return true;
    return QString::fromUtf8(a.data(), qsizetype(a.size()))
               .compare(QString::fromUtf8(b.data(), qsizetype(b.size())), Qt::CaseInsensitive) == 0;
}

bool SamePath(const TRegistryPath& a, const TRegistryPath& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](const auto& x, const auto& y) { return SameName(x, y); });
}

// Whether `prefix` is `path` or one of its parents.
bool StartsWithPath(const TRegistryPath& path, const TRegistryPath& prefix) {
    return prefix.size() <= path.size() &&
           std::equal(prefix.begin(), prefix.end(), path.begin(),
                      [](const auto& x, const auto& y) { return SameName(x, y); });
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string ToUtf8(std::u32string_view text) {
    std::string out;
    for (char32_t c : text)
        AppendUtf8(out, c);
    return out;
}

// The characters of a UTF-8 text; a byte that starts no valid sequence stands for itself.
std::u32string FromUtf8(std::string_view text) {
    std::u32string out;
    for (size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const int length = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        char32_t c = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
        bool valid = length > 0 && i + size_t(length) <= text.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + size_t(k)]);
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        if (valid) {
            out += c;
            i += size_t(length);
        } else {
            out += char32_t{b};
            ++i;
        }
    }
    return out;
}

int HexValue(char32_t c) {
    if (c >= '0' && c <= '9') return int(c - '0');
    if (c >= 'a' && c <= 'f') return int(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return int(c - 'A' + 10);
    return -1;
}

std::string LowerHex(char32_t c) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    do {
        out.insert(out.begin(), digits[c & 15]);
        c >>= 4;
    } while (c != 0);
    return out;
}

// ---- Qt's INI escaping, as earlier versions wrote the file ----------------------------------

// The value text Qt's INI format wrote for `text` (each character < 0x100 when !utf8: bytes).
std::string QtEscaped(std::u32string_view text, bool utf8) {
    std::string out;
    bool needsQuotes = false;
    bool escapeNextIfDigit = false;
    for (char32_t c : text) {
        if (c == ';' || c == ',' || c == '=') needsQuotes = true;
        if (escapeNextIfDigit && HexValue(c) >= 0) {
            out += "\\x" + LowerHex(c);
            continue;
        }
        escapeNextIfDigit = false;
        switch (c) {
        case 0:
            out += "\\0";
            escapeNextIfDigit = true;
            break;
        case '\a':
            out += "\\a";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
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
        case '\v':
            out += "\\v";
            break;
        case '"':
        case '\\':
            out += '\\';
            out += static_cast<char>(c);
            break;
        default:
            if (c <= 0x1F || (c >= 0x7F && !utf8)) {
                out += "\\x" + LowerHex(c);
                escapeNextIfDigit = true;
            } else if (utf8) {
                AppendUtf8(out, c);
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    if (needsQuotes || (!out.empty() && (out.front() == ' ' || out.back() == ' '))) out = '"' + out + '"';
    return out;
}

// The text Qt's INI format read from a value text (quotes and backslash escapes resolved).
std::u32string QtUnescaped(std::string_view raw) {
    const std::u32string in = FromUtf8(raw);
    std::u32string out;
    size_t i = 0;
    const size_t n = in.size();
    bool quoted = false, wasQuoted = false;
    size_t chopLimit = 0; // trailing blanks after this point are dropped from an unquoted value
    auto skipBlanks = [&] {
        while (i < n && (in[i] == ' ' || in[i] == '\t'))
            ++i;
    };
    skipBlanks();
    while (i < n) {
        const char32_t c = in[i];
        if (c == '\\') {
            if (++i >= n) break;
            const char32_t e = in[i++];
            static const std::pair<char32_t, char32_t> simple[] = {
                {'a', '\a'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'},  {'r', '\r'}, {'t', '\t'},
                {'v', '\v'}, {'"', '"'},  {'?', '?'},  {'\'', '\''}, {'\\', '\\'}};
            const auto* found = std::find_if(std::begin(simple), std::end(simple),
                                             [e](const auto& s) { return s.first == e; });
            if (found != std::end(simple)) {
                out += found->second;
            } else if (e == 'x' && i < n && HexValue(in[i]) >= 0) {
                char32_t value = 0;
                while (i < n && HexValue(in[i]) >= 0)
                    value = ((value << 4) | char32_t(HexValue(in[i++]))) & 0xFFFF;
                out += value;
            } else if (e >= '0' && e <= '7') {
                char32_t value = e - '0';
                while (i < n && in[i] >= '0' && in[i] <= '7')
                    value = ((value << 3) | (in[i++] - '0')) & 0xFFFF;
                out += value;
            } // any other escaped character is dropped
            chopLimit = out.size();
        } else if (c == '"') {
            ++i;
            wasQuoted = true;
            quoted = !quoted;
            if (!quoted) skipBlanks();
            chopLimit = out.size();
        } else {
            out += c;
            ++i;
        }
    }
    if (!wasQuoted)
        while (out.size() > chopLimit && (out.back() == ' ' || out.back() == '\t'))
            out.pop_back();
    return out;
}

bool StartsWith(std::u32string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(),
                                                      [](char a, char32_t b) { return char32_t(a) == b; });
}

// What Qt's format made of an unescaped value text.
TStoredValue QtValueOf(const std::u32string& text) {
    using K = TStoredValue::Kind;
    if (!text.empty() && text.front() == '@') {
        if (text.back() == ')') {
            if (StartsWith(text, "@ByteArray(")) {
                std::string bytes;
                for (char32_t c : std::u32string_view(text).substr(11, text.size() - 12))
                    bytes += static_cast<char>(c & 0xFF);
                return {K::Bytes, bytes};
            }
            if (StartsWith(text, "@String("))
                return {K::Text, ToUtf8(std::u32string_view(text).substr(8, text.size() - 9))};
            for (const char* other : {"@Variant(", "@DateTime(", "@Rect(", "@Size(", "@Point("})
                if (StartsWith(text, other)) return {K::Other, ToUtf8(text)};
            if (StartsWith(text, "@Invalid()") && text.size() == 10) return {K::Other, ToUtf8(text)};
        }
        if (StartsWith(text, "@@")) return {K::Text, ToUtf8(std::u32string_view(text).substr(1))};
    }
    return {K::Text, ToUtf8(text)};
}

// The value text Qt's format wrote for a value.
std::string QtText(const TStoredValue& value) {
    if (value.Type == TStoredValue::Kind::Bytes) {
        std::u32string text = U"@ByteArray(";
        for (char b : value.Data)
            text += char32_t(static_cast<unsigned char>(b));
        text += U')';
        return QtEscaped(text, false);
    }
    std::u32string text = FromUtf8(value.Data);
    if (!text.empty() && text.front() == '@') text.insert(text.begin(), U'@');
    return QtEscaped(text, true);
}

// ---- Key names --------------------------------------------------------------------------------

// A name as Qt's format spelt it: letters, digits, '_', '-', '.' as they are, others as %XX or %UXXXX.
std::string EscapedName(std::string_view name) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (char32_t c : FromUtf8(name)) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
            c == '-' || c == '.') {
            out += static_cast<char>(c);
        } else if (c <= 0xFF) {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            auto unit = [&](char32_t u) {
                out += "%U";
                for (int shift = 12; shift >= 0; shift -= 4)
                    out += digits[(u >> shift) & 15];
            };
            if (c > 0xFFFF) {
                unit(0xD800 + ((c - 0x10000) >> 10));
                unit(0xDC00 + ((c - 0x10000) & 0x3FF));
            } else {
                unit(c);
            }
        }
    }
    return out;
}

std::string EscapedPath(const TRegistryPath& path, size_t from) {
    std::string out;
    for (size_t i = from; i < path.size(); ++i)
        out += EscapedName(path[i]) + "\\";
    return out;
}

// A key's text split into names: '\' and '/' separate, %XX and %UXXXX stand for a character.
TRegistryPath KeyPathOf(std::string_view text) {
    const std::u32string in = FromUtf8(text);
    TRegistryPath path(1);
    char32_t highSurrogate = 0;
    for (size_t i = 0; i < in.size();) {
        const char32_t c = in[i];
        if (c == '\\' || c == '/') {
            if (!path.back().empty()) path.emplace_back();
            ++i;
            continue;
        }
        char32_t decoded = c;
        size_t used = 1;
        if (c == '%') {
            const bool wide = i + 1 < in.size() && in[i + 1] == 'U';
            const size_t first = i + (wide ? 2 : 1), digits = wide ? 4 : 2;
            char32_t value = 0;
            bool ok = first + digits <= in.size();
            for (size_t k = 0; ok && k < digits; ++k) {
                const int h = HexValue(in[first + k]);
                ok = h >= 0;
                value = (value << 4) | char32_t(h < 0 ? 0 : h);
            }
            if (ok) {
                decoded = value;
                used = first + digits - i;
            }
        }
        i += used;
        if (decoded >= 0xD800 && decoded < 0xDC00) {
            highSurrogate = decoded;
            continue;
        }
        if (decoded >= 0xDC00 && decoded < 0xE000 && highSurrogate)
            decoded = 0x10000 + ((highSurrogate - 0xD800) << 10) + (decoded - 0xDC00);
        highSurrogate = 0;
        AppendUtf8(path.back(), decoded);
    }
    if (path.back().empty()) path.pop_back();
    return path;
}

// A section name: "[General]" is the root, "[%General]" a key named General.
TRegistryPath SectionPathOf(std::string_view name) {
    name = Trim(name);
    if (SameName(name, "General")) return {};
    if (SameName(name, "%General")) return {std::string(name.substr(1))};
    return KeyPathOf(name);
}

std::string SectionText(const TRegistryPath& key) {
    const std::string first = SameName(key.front(), "General") ? "%" + key.front() : EscapedName(key.front());
    return "[" + first + "]";
}

} // namespace

TRegistryPath RegistryPathOf(std::string_view registryPath) {
    TRegistryPath path;
    size_t start = 0;
    while (start <= registryPath.size()) {
        const size_t end = std::min(registryPath.find('\\', start), registryPath.size());
        if (end > start) path.emplace_back(registryPath.substr(start, end - start));
        start = end + 1;
    }
    return path;
}

TStoredValue DecodeStoredValue(std::string_view raw) {
    const TStoredValue earlier = QtValueOf(QtUnescaped(raw));
    // Bytes and typed values only ever came from Qt's format; a text is taken as escaped only when
    // Qt's format would have written exactly these characters for it.
    if (earlier.Type != TStoredValue::Kind::Text || QtText(earlier) == raw) return earlier;
    return {TStoredValue::Kind::Text, std::string(raw)};
}

std::string EncodeStoredValue(const TStoredValue& value) {
    if (value.Type == TStoredValue::Kind::Text) {
        const std::string& text = value.Data;
        const bool fitsOneLine = text.find_first_of(std::string_view("\0\r\n", 3)) == std::string::npos;
        if (fitsOneLine && Trim(text) == text) {
            const TStoredValue read = DecodeStoredValue(text);
            if (read == value) return text;
            // "my;secret#pw" is also what Qt's format wrote for my;secret#pw: either way a string
            // read takes the text between the quotes, unless that text is itself quoted.
            const bool quoted = text.size() >= 2 && text.front() == '"' && text.back() == '"';
            const std::string inner = quoted ? text.substr(1, text.size() - 2) : std::string();
            const bool innerQuoted = inner.size() >= 2 && inner.front() == '"' && inner.back() == '"';
            if (quoted && !innerQuoted && read == TStoredValue{TStoredValue::Kind::Text, inner}) return text;
        }
    }
    return QtText(value);
}

// ---- TRegistryFile ----------------------------------------------------------------------------

TRegistryFile::Line TRegistryFile::ParseLine(std::string_view text, const TRegistryPath& section) {
    Line line;
    line.Text = std::string(text);
    const std::string_view trimmed = Trim(text);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') return line;
    if (trimmed.front() == '[') {
        const size_t close = trimmed.find(']');
        if (close == std::string_view::npos) return line;
        line.Kind = LineKind::Section;
        line.Key = SectionPathOf(trimmed.substr(1, close - 1));
        return line;
    }
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos) return line;
    const std::string_view keyText = Trim(text.substr(0, equals));
    TRegistryPath path = KeyPathOf(keyText);
    if (path.empty()) return line;
    line.Kind = LineKind::Value;
    line.Name = path.back();
    path.pop_back();
    line.Key = section;
    line.Key.insert(line.Key.end(), path.begin(), path.end());
    const size_t separator = keyText.find_last_of("\\/");
    line.KeyPrefix = separator == std::string_view::npos ? "" : std::string(keyText.substr(0, separator + 1));
    line.ValueAt = equals + 1;
    while (line.ValueAt < text.size() && IsBlank(text[line.ValueAt]))
        ++line.ValueAt;
    return line;
}

std::optional<TRegistryFile> TRegistryFile::Parse(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) return std::nullopt;
    TRegistryFile file;
    // Editors on other systems start the file with a byte order mark and end lines with CR LF;
    // both stay as they were.
    constexpr std::string_view bom = "\xEF\xBB\xBF";
    if (text.substr(0, bom.size()) == bom) {
        file.bom_ = true;
        text.remove_prefix(bom.size());
    }
    TRegistryPath section;
    bool stray = false, understood = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view lineText = text.substr(start, end - start);
        if (!lineText.empty() && lineText.back() == '\r') {
            lineText.remove_suffix(1);
            if (file.lines_.empty()) file.crlf_ = true;
        }
        Line line = ParseLine(lineText, section);
        if (line.Kind == LineKind::Section) section = line.Key;
        if (line.Kind != LineKind::Other)
            understood = true;
        else if (const auto t = Trim(lineText); !t.empty() && t.front() != ';' && t.front() != '#')
            stray = true;
        file.lines_.push_back(std::move(line));
        start = end + 1;
    }
    if (stray && !understood) return std::nullopt;
    return file;
}

std::string TRegistryFile::Text() const {
    std::string text = bom_ ? "\xEF\xBB\xBF" : "";
    for (const Line& line : lines_)
        text += line.Text + (crlf_ ? "\r\n" : "\n");
    return text;
}

std::optional<size_t> TRegistryFile::FindValue(const TRegistryPath& key, std::string_view name) const {
    for (size_t i = lines_.size(); i-- > 0;) {
        const Line& line = lines_[i];
        if (line.Kind == LineKind::Value && SameName(line.Name, name) && SamePath(line.Key, key)) return i;
    }
    return std::nullopt;
}

std::optional<std::string> TRegistryFile::Raw(const TRegistryPath& key, std::string_view name) const {
    const auto at = FindValue(key, name);
    if (!at) return std::nullopt;
    const Line& line = lines_[*at];
    return std::string(Trim(std::string_view(line.Text).substr(line.ValueAt)));
}

bool TRegistryFile::HasKey(const TRegistryPath& key) const {
    return std::any_of(lines_.begin(), lines_.end(), [&](const Line& line) {
        if (key.empty()) return line.Kind == LineKind::Value;
        return line.Kind != LineKind::Other && StartsWithPath(line.Key, key);
    });
}

void TRegistryFile::Set(const TRegistryPath& key, std::string_view name, const std::string& raw) {
    if (const auto at = FindValue(key, name)) {
        Line& line = lines_[*at];
        line.Text = line.Text.substr(0, line.ValueAt) + raw;
        return;
    }
    auto valueLine = [&](const std::string& keyText) {
        Line line;
        line.Text = keyText + "=";
        line.Kind = LineKind::Value;
        line.Key = key;
        line.Name = std::string(name);
        line.KeyPrefix = keyText.substr(0, keyText.size() - EscapedName(name).size());
        line.ValueAt = line.Text.size();
        line.Text += raw;
        return line;
    };
    // Beside a value of the same key, spelt as that one is.
    for (size_t i = lines_.size(); i-- > 0;) {
        const Line& sibling = lines_[i];
        if (sibling.Kind == LineKind::Value && SamePath(sibling.Key, key)) {
            const std::string keyText = sibling.KeyPrefix + EscapedName(name);
            lines_.insert(lines_.begin() + long(i + 1), valueLine(keyText));
            return;
        }
    }
    // At the end of the section nearest to the key (the values of the root: before any section,
    // or under [General]).
    std::optional<size_t> best;
    size_t bestDepth = 0;
    const auto firstUnderstood =
        std::find_if(lines_.begin(), lines_.end(), [](const Line& l) { return l.Kind != LineKind::Other; });
    const bool rootBlockHasValues =
        firstUnderstood != lines_.end() && firstUnderstood->Kind == LineKind::Value;
    for (size_t i = 0; i < lines_.size(); ++i) {
        const Line& l = lines_[i];
        if (l.Kind != LineKind::Section || !StartsWithPath(key, l.Key)) continue;
        if (l.Key.empty() != key.empty()) continue;
        if (!best || l.Key.size() >= bestDepth) {
            best = i;
            bestDepth = l.Key.size();
        }
    }
    if (best || (key.empty() && rootBlockHasValues)) {
        size_t insertAfter = best ? *best : 0;
        bool any = best.has_value();
        for (size_t i = best ? *best + 1 : 0; i < lines_.size() && lines_[i].Kind != LineKind::Section; ++i)
            if (lines_[i].Kind == LineKind::Value) {
                insertAfter = i;
                any = true;
            }
        const size_t at = any ? insertAfter + 1 : 0;
        lines_.insert(lines_.begin() + long(at), valueLine(EscapedPath(key, bestDepth) + EscapedName(name)));
        return;
    }
    if (key.empty()) {
        Line header = ParseLine("[General]", {});
        lines_.insert(lines_.begin(), {header, valueLine(EscapedName(name)), ParseLine("", {})});
        return;
    }
    if (!lines_.empty() && !Trim(lines_.back().Text).empty()) lines_.push_back(ParseLine("", {}));
    lines_.push_back(ParseLine(SectionText(key), {}));
    lines_.push_back(valueLine(EscapedPath(key, 1) + EscapedName(name)));
}

void TRegistryFile::Remove(const TRegistryPath& key) {
    std::erase_if(lines_, [&](const Line& line) {
        if (line.Kind == LineKind::Other) return false;
        if (line.Kind == LineKind::Section && line.Key.empty()) return key.empty();
        return StartsWithPath(line.Key, key);
    });
}
