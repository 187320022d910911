#include "IniKeyWriter.h"

#include <cstddef>

namespace {

const char* const kSpace = " \t\v\f\x1a";

std::string trim(const std::string& s)
{
    std::size_t b = s.find_first_not_of(kSpace);
    if (b == std::string::npos)
        return std::string();
    return s.substr(b, s.find_last_not_of(kSpace) - b + 1);
}

bool equalNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

struct Line {
    std::size_t begin; // first byte
    std::size_t end;   // one past the last byte before the line ending
    std::size_t next;  // first byte of the next line
};

} // namespace

std::string setIniKey(const std::string& text, const std::string& section, const std::string& key,
                      const std::string& value)
{
    std::size_t lf = text.find('\n');
    std::string eol = (lf == std::string::npos || (lf > 0 && text[lf - 1] == '\r')) ? "\r\n" : "\n";
    std::string entry = key + "=" + value;

    std::size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    bool inSection = false;
    bool seen = false;        // the first section of the name was entered
    std::size_t insertAt = 0; // after the section's last line that is not blank
    bool lastHasEnding = true;
    for (std::size_t pos = start; pos < text.size();) {
        Line line{pos, pos, pos};
        while (line.end < text.size() && text[line.end] != '\r' && text[line.end] != '\n')
            ++line.end;
        line.next = line.end;
        if (line.next < text.size() && text[line.next] == '\r')
            ++line.next;
        if (line.next < text.size() && text[line.next] == '\n' && (line.next == line.end || text[line.end] == '\r'))
            ++line.next;
        pos = line.next;

        std::string content = trim(text.substr(line.begin, line.end - line.begin));
        // As for the reader, a "[" without a closing "]" is an ordinary line.
        std::size_t close = (!content.empty() && content[0] == '[') ? content.rfind(']') : std::string::npos;
        if (close != std::string::npos) {
            if (inSection)
                break; // the section ended without the key
            std::string name = trim(content.substr(1, close - 1));
            if (!seen && equalNoCase(name, section)) {
                inSection = seen = true;
                insertAt = line.next;
                lastHasEnding = line.next > line.end;
            }
            continue;
        }
        if (!inSection || content.empty())
            continue;
        insertAt = line.next;
        lastHasEnding = line.next > line.end;
        if (content[0] == ';')
            continue;
        // A line without "=" is a key too (one that reads as missing), so
        // it is the one to replace.
        std::size_t eq = content.find('=');
        if (equalNoCase(trim(content.substr(0, eq)), key))
            return text.substr(0, line.begin) + entry + text.substr(line.end);
    }

    if (seen) {
        if (!lastHasEnding)
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
