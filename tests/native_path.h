// A test's '/' path as the platform spells it in messages and path buffers.
#pragma once
#include <string>

#include "platform/path_rules.h"

inline std::string native(std::string path)
{
    for (char& c : path)
        if (c == '/')
            c = PATH_SEPARATOR;
    return path;
}
