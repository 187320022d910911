#pragma once
// Small text helpers shared by the portable code and the release tool:
// ASCII case folding (how names are matched without regard to case away
// from the platform: profile sections and keys, registry paths and names)
// and trimming.

#include <cstddef>
#include <string>
#include <string_view>

inline char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string asciiFolded(std::string text)
{
    for (char& c : text)
        c = asciiLower(c);
    return text;
}

inline bool equalNoCaseAscii(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    return true;
}

// The characters the profile reader trims: space, tab to carriage return
// and the DOS end-of-file byte 0x1A.
constexpr const char* kProfileSpace = " \t\n\v\f\r\x1a";

// text without the characters of `spaces` at either end.
inline std::string_view trimmedView(std::string_view text, const char* spaces = " \t")
{
    std::size_t b = text.find_first_not_of(spaces);
    if (b == std::string_view::npos)
        return std::string_view();
    return text.substr(b, text.find_last_not_of(spaces) - b + 1);
}

inline std::string trimText(std::string_view text, const char* spaces = " \t")
{
    return std::string(trimmedView(text, spaces));
}
