#pragma once
// vdrpack's machine-readable output, written with nlohmann/json. Every
// document carries "schema": 1 (docs/vdrpack-json.md describes them all).
// Texts are the program's narrow (ANSI) bytes: they go in as their
// Latin-1 reading and come out escaped, so the output is always ASCII.

#include <nlohmann/json.hpp>

#include <string>

using Json = nlohmann::ordered_json;

enum { kJsonSchema = 1 };

// A narrow text as a JSON string value.
inline Json jsonText(const std::string& narrow)
{
    std::string utf8;
    for (char c : narrow) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | (u >> 6));
            utf8 += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return Json(utf8);
}

// A document's start: the schema number and the command.
inline Json jsonDocument(const char* command)
{
    return Json{{"schema", kJsonSchema}, {"command", command}};
}

// The text of a document: two-space indented, ASCII only, final line break.
inline std::string jsonDump(const Json& j)
{
    return j.dump(2, ' ', true) + "\n";
}
