#include "common/LogLines.h"

namespace {
bool isNameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}
} // namespace

bool isInternalTraceLine(const char* text)
{
    if (!text)
        return false;
    const char* p = text;
    while (isNameChar(*p))
        ++p;
    return p != text && p[0] == ':' && p[1] == ':';
}

std::string logRecords(const std::string& stamp, const std::string& text)
{
    std::string records;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find_first_of("\r\n", begin);
        if (end == std::string::npos)
            end = text.size();
        if (end > begin)
            records += stamp + ' ' + text.substr(begin, end - begin) + '\n';
        begin = end + 1;
    }
    return records;
}
