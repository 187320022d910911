#include "IniKeyWriter.h"

#include "products/ProfileLines.h"

#include <cstddef>
#include <vector>

namespace {

void putUtf8(std::string& out, unsigned cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void putUnit(std::string& out, unsigned unit, bool bigEndian)
{
    char hi = static_cast<char>(unit >> 8), lo = static_cast<char>(unit & 0xFF);
    out += bigEndian ? hi : lo;
    out += bigEndian ? lo : hi;
}

// UTF-16 units (after the byte-order mark) as UTF-8; an unpaired surrogate
// becomes its own three-byte form, so that fromUtf16View gives every unit
// back as it was.
std::string utf16View(const std::string& bytes, bool bigEndian)
{
    auto unitAt = [&](std::size_t i) {
        unsigned char a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    std::string out;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        unsigned u = static_cast<unsigned>(unitAt(i));
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
            unsigned low = static_cast<unsigned>(unitAt(i + 2));
            if (low >= 0xDC00 && low < 0xE000) {
                putUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        putUtf8(out, u);
    }
    return out;
}

std::string fromUtf16View(const std::string& text, bool bigEndian)
{
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (std::size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        unsigned cp = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra && i + static_cast<std::size_t>(k) < text.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]) & 0x3F);
        i += static_cast<std::size_t>(extra) + 1;
        if (cp >= 0x10000) {
            putUnit(out, 0xD800 + ((cp - 0x10000) >> 10), bigEndian);
            putUnit(out, 0xDC00 + ((cp - 0x10000) & 0x3FF), bigEndian);
        } else {
            putUnit(out, cp, bigEndian);
        }
    }
    return out;
}

} // namespace

std::string setIniKey(const std::string& text, const std::string& section, const std::string& key,
                      const std::string& value)
{
    std::size_t lf = text.find('\n');
    std::string eol = (lf == std::string::npos || (lf > 0 && text[lf - 1] == '\r')) ? "\r\n" : "\n";
    std::string entry = key + "=" + value;

    std::size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    const std::vector<ProfileLine> lines = scanProfileLines(std::string_view(text).substr(start));
    const CProfileIndex index(lines);
    // A key line without "=" is a key too (one that reads as missing), so
    // it is the one to replace.
    std::size_t at = index.key(section, key);
    if (at != CProfileIndex::npos)
        return text.substr(0, start + lines[at].begin) + entry + text.substr(start + lines[at].end);
    at = index.section(section);
    if (at != CProfileIndex::npos) {
        // After the section's last line that is not blank.
        std::size_t last = at;
        for (std::size_t i = at + 1; i < lines.size() && lines[i].kind != ProfileLine::kSection; ++i)
            if (lines[i].kind != ProfileLine::kBlank)
                last = i;
        std::size_t insertAt = start + lines[last].next;
        if (lines[last].next == lines[last].end) // the file's last line, without an ending
            return text.substr(0, insertAt) + eol + entry + text.substr(insertAt);
        return text.substr(0, insertAt) + entry + eol + text.substr(insertAt);
    }
    std::string out = text;
    if (!out.empty() && out.back() != '\n' && out.back() != '\r')
        out += eol;
    if (out.size() > start)
        out += eol;
    return out + "[" + section + "]" + eol + entry + eol;
}

std::string setIniKeyInFile(const std::string& bytes, const std::string& section, const std::string& key,
                            const std::string& value)
{
    ProfileEncoding encoding = profileEncodingOf(bytes);
    if (encoding != kProfileUtf16Le && encoding != kProfileUtf16Be)
        return setIniKey(bytes, section, key, value);
    bool bigEndian = encoding == kProfileUtf16Be;
    std::string odd = bytes.size() % 2 ? bytes.substr(bytes.size() - 1) : std::string();
    return fromUtf16View(setIniKey(utf16View(bytes, bigEndian), section, key, value), bigEndian) + odd;
}
