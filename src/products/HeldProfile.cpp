#include "products/HeldProfile.h"

#include "common/FixedBuf.h"
#include "common/TextHelpers.h"
#include "products/IniFileReader.h"

CHeldProfileReader::CHeldProfileReader(const std::string& bytes)
    : m_text(profileTextOf(bytes)), m_lines(scanProfileLines(m_text)), m_index(m_lines)
{
}

bool CHeldProfileReader::findValue(const char* section, const char* key, std::string& value) const
{
    if (!section || !key)
        return false;
    const std::size_t at = m_index.key(trimmedView(section, kProfileSpace), trimmedView(key, kProfileSpace));
    if (at == CProfileIndex::npos || !m_lines[at].bHasValue)
        return false; // missing, or there without a value
    value.assign(m_lines[at].value);
    return true;
}

int CHeldProfileReader::getInt(const char* section, const char* key, int def, const char*) const
{
    std::string value;
    if (!findValue(section, key, value) || value.empty())
        return def;
    return CIniFileReader::parseInt(value);
}

void CHeldProfileReader::getString(const char* section, const char* key, const char* def, char* buffer, unsigned size,
                                   const char*) const
{
    if (!buffer || size == 0)
        return;
    std::string value;
    copyBounded(buffer, size, findValue(section, key, value) ? value.c_str() : def);
}
