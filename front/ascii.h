// ASCII letter case, the same under every locale.
#pragma once

inline char ascii_upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline bool equals_ignoring_ascii_case(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b)
        if (ascii_upper(*a) != ascii_upper(*b))
            return false;
    return *a == *b;
}
