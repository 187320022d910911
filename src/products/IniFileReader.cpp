#include "products/IniFileReader.h"

#include "common/FixedBuf.h"
#include "products/AsciiCase.h"

#include <cstdint>
#include <fstream>
#include <iterator>

namespace {

bool isProfileSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r') || c == '\x1a';
}

struct Span {
    const char* begin;
    const char* end;

    bool empty() const { return begin >= end; }
};

Span trimmed(Span s)
{
    while (s.begin < s.end && isProfileSpace(*s.begin))
        ++s.begin;
    while (s.end > s.begin && isProfileSpace(s.end[-1]))
        --s.end;
    return s;
}

bool equalNoCase(Span a, Span b)
{
    if (a.end - a.begin != b.end - b.begin)
        return false;
    for (; a.begin < a.end; ++a.begin, ++b.begin)
        if (asciiLower(*a.begin) != asciiLower(*b.begin))
            return false;
    return true;
}

Span spanOf(const char* text)
{
    return Span{text, text + std::char_traits<char>::length(text)};
}

// Narrows a UTF-16 text after its byte-order mark: ASCII stays, anything
// else becomes "?" (the platform maps it through the ANSI code page).
std::string narrowedUtf16(const std::string& bytes, bool bigEndian)
{
    std::string text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const unsigned char lo = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
        const unsigned char hi = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
        text += (hi == 0 && lo < 0x80) ? static_cast<char>(lo) : '?';
    }
    return text;
}

// The file's text in narrow form, without a byte-order mark.
bool readWholeFile(const char* path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad())
        return false;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    else if (text.compare(0, 2, "\xFF\xFE") == 0)
        text = narrowedUtf16(text, false);
    else if (text.compare(0, 2, "\xFE\xFF") == 0)
        text = narrowedUtf16(text, true);
    return true;
}

int digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    return 99;
}

} // namespace

bool CIniFileReader::findValue(const char* section, const char* key, const char* path, std::string& value)
{
    if (!section || !key || !path)
        return false;
    std::string text;
    if (!readWholeFile(path, text))
        return false;

    const Span wantSection = trimmed(spanOf(section));
    const Span wantKey = trimmed(spanOf(key));
    const char* p = text.data();
    const char* const end = p + text.size();

    bool inSection = false;  // inside the first section of the wanted name
    bool seenSection = false; // that section has begun (later ones are not searched)
    while (p < end) {
        Span line{p, p};
        while (line.end < end && *line.end != '\n' && *line.end != '\r')
            ++line.end;
        p = line.end;
        while (p < end && (*p == '\n' || *p == '\r'))
            ++p;

        line = trimmed(line);
        if (line.empty() || *line.begin == ';')
            continue;
        if (*line.begin == '[') {
            const char* close = line.end;
            while (close > line.begin && close[-1] != ']')
                --close;
            if (close > line.begin + 1) {
                if (inSection)
                    return false; // the wanted section ended without the key
                Span name = trimmed(Span{line.begin + 1, close - 1});
                inSection = !seenSection && equalNoCase(name, wantSection);
                seenSection = seenSection || inSection;
                continue;
            }
            // A "[" without a closing "]" is an ordinary line.
        }
        if (!inSection)
            continue;
        const char* eq = line.begin;
        while (eq < line.end && *eq != '=')
            ++eq;
        if (!equalNoCase(trimmed(Span{line.begin, eq}), wantKey))
            continue;
        if (eq == line.end)
            return false; // the key is there but has no value
        Span v = trimmed(Span{eq + 1, line.end});
        if (v.end - v.begin >= 2 && (*v.begin == '"' || *v.begin == '\'') && v.end[-1] == *v.begin) {
            ++v.begin;
            --v.end;
        }
        value.assign(v.begin, v.end);
        return true;
    }
    return false;
}

int CIniFileReader::parseInt(const std::string& text)
{
    const char* p = text.c_str();
    while (*p && static_cast<unsigned char>(*p) <= ' ')
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    int base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'o' || p[1] == 'b')) {
        base = p[1] == 'x' ? 16 : p[1] == 'o' ? 8 : 2;
        p += 2;
    }
    // Unsigned arithmetic wraps like the platform's 32-bit result.
    std::uint32_t result = 0;
    for (int d; (d = digitValue(*p)) < base; ++p)
        result = result * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(d);
    if (negative)
        result = 0u - result;
    return static_cast<int>(result);
}

int CIniFileReader::getInt(const char* section, const char* key, int def, const char* path) const
{
    std::string value;
    if (!findValue(section, key, path, value) || value.empty())
        return def;
    return parseInt(value);
}

void CIniFileReader::getString(const char* section, const char* key, const char* def, char* buffer, unsigned size,
                               const char* path) const
{
    if (!buffer || size == 0)
        return;
    std::string value;
    if (findValue(section, key, path, value))
        copyBounded(buffer, size, value.c_str());
    else
        copyBounded(buffer, size, def);
}
