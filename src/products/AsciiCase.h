#pragma once
// ASCII case folding: how names are matched without regard to case away
// from the platform (profile sections and keys, registry paths and names).

#include <string>

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
