#include "JsonWriter.h"

#include <cstdio>

std::string CJsonWriter::quote(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
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
        default:
            if (c < 0x20 || c >= 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

void CJsonWriter::item(const char* key)
{
    if (!m_first.empty()) {
        m_out += m_first.back() ? "\n" : ",\n";
        m_first.back() = false;
        m_out.append(2 * m_first.size(), ' ');
    }
    if (key)
        m_out += quote(key) + ": ";
}

void CJsonWriter::beginObject(const char* key)
{
    item(key);
    m_out += "{";
    m_first.push_back(true);
}

void CJsonWriter::beginArray(const char* key)
{
    item(key);
    m_out += "[";
    m_first.push_back(true);
}

void CJsonWriter::close(char bracket)
{
    bool empty = m_first.back();
    m_first.pop_back();
    if (!empty) {
        m_out += "\n";
        m_out.append(2 * m_first.size(), ' ');
    }
    m_out += bracket;
    if (m_first.empty())
        m_out += "\n";
}

void CJsonWriter::endObject()
{
    close('}');
}

void CJsonWriter::endArray()
{
    close(']');
}

void CJsonWriter::string(const char* key, const std::string& text)
{
    item(key);
    m_out += quote(text);
}

void CJsonWriter::number(const char* key, std::int64_t value)
{
    item(key);
    m_out += std::to_string(value);
}

void CJsonWriter::boolean(const char* key, bool value)
{
    item(key);
    m_out += value ? "true" : "false";
}

void CJsonWriter::null(const char* key)
{
    item(key);
    m_out += "null";
}
