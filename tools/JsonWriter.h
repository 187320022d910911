#pragma once
// A small JSON writer for the release tool's machine-readable output:
// objects, arrays, strings, integers and booleans, written as they come,
// two-space indented. Texts are the program's narrow (ANSI) bytes: bytes
// from 0x80 up are written as \u00XX (their Latin-1 reading), control
// characters escaped, so the output is always valid JSON in ASCII.

#include <cstdint>
#include <string>
#include <vector>

class CJsonWriter {
public:
    void beginObject(const char* key = nullptr);
    void endObject();
    void beginArray(const char* key = nullptr);
    void endArray();
    // With key inside an object; without key inside an array.
    void string(const char* key, const std::string& text);
    void number(const char* key, std::int64_t value);
    void boolean(const char* key, bool value);
    void null(const char* key);

    // The document so far, ending in a line break once the outermost value
    // is closed.
    const std::string& text() const { return m_out; }

    static std::string quote(const std::string& text);

private:
    void item(const char* key);
    void close(char bracket);

    std::string m_out;
    std::vector<bool> m_first; // per open container: no item written yet
};
