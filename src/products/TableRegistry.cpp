#include "products/TableRegistry.h"

#include "common/FixedBuf.h"
#include "common/TextHelpers.h"

CTableRegistry::Entry& CTableRegistry::entryFor(const std::string& path)
{
    const std::string key = asciiFolded(path);
    for (std::size_t pos = key.find('\\'); pos != std::string::npos; pos = key.find('\\', pos + 1))
        m_keys[key.substr(0, pos)];
    return m_keys[key];
}

void CTableRegistry::addKey(const std::string& path)
{
    entryFor(path);
}

void CTableRegistry::setString(const std::string& path, const std::string& name, const std::string& text)
{
    entryFor(path).values[asciiFolded(name)] = Value{true, text};
}

void CTableRegistry::setOther(const std::string& path, const std::string& name)
{
    entryFor(path).values[asciiFolded(name)] = Value{false, std::string()};
}

void CTableRegistry::removeKey(const std::string& path)
{
    const std::string key = asciiFolded(path);
    const std::string below = key + '\\';
    for (auto it = m_keys.begin(); it != m_keys.end();) {
        if (it->first == key || it->first.compare(0, below.size(), below) == 0)
            it = m_keys.erase(it);
        else
            ++it;
    }
}

bool CTableRegistry::openKey(const char* subkey, Key& key)
{
    auto it = m_keys.find(asciiFolded(subkey ? subkey : ""));
    if (it == m_keys.end())
        return false;
    key = &it->second;
    ++m_nOpen;
    return true;
}

bool CTableRegistry::queryString(Key key, const char* name, char* buffer, unsigned size)
{
    if (!key || !buffer || size == 0)
        return false;
    const Entry& entry = *static_cast<const Entry*>(key);
    auto it = entry.values.find(asciiFolded(name ? name : ""));
    if (it == entry.values.end() || !it->second.bString || it->second.text.size() >= size)
        return false;
    return copyBounded(buffer, size, it->second.text.c_str());
}

void CTableRegistry::closeKey(Key)
{
    --m_nOpen;
}
