// Part names on POSIX, where names tell letter case apart.
#include "platform/path_rules.h"

#include <cstring>

void name_dest_part0(char* path, const char* created_extension)
{
    // Only the extension as typed names the file created as part 0.
    size_t length = strlen(path);
    memcpy(path + length - 4, created_extension, 4);
}
