#include "products/IniFileReader.h"

#include "common/FixedBuf.h"
#include "products/HeldProfile.h"

#include <cstdint>

namespace {

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
    std::string bytes;
    if (!path || !readProfileBytes(path, bytes))
        return false;
    return CHeldProfileReader(bytes).findValue(section, key, value);
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
