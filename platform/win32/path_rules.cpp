// Part names on Windows, where names ignore letter case.
#include "platform/path_rules.h"

#include <cstring>

void name_dest_part0(char* path, const char* created_extension)
{
    // ".IMG" names the file created as part 0 whatever case was typed, and
    // messages name it so.
    (void)created_extension;
    size_t length = strlen(path);
    memcpy(path + length - 4, ".IMG", 4);
}
