// How the platform spells paths: the separator, the buffer size, letter case.
#pragma once

#if defined(_WIN32)
constexpr char PATH_SEPARATOR = '\\';
constexpr unsigned PATH_BUFFER_SIZE = 260;
constexpr bool NAMES_IGNORE_CASE = true;
#else
constexpr char PATH_SEPARATOR = '/';
constexpr unsigned PATH_BUFFER_SIZE = 4096;
constexpr bool NAMES_IGNORE_CASE = false;
#endif

// Rewrites the four-character extension of path, which names a destination
// part, to the name destination part 0 was created under: created_extension
// is the extension it was created with, as the user typed it.
void name_dest_part0(char* path, const char* created_extension);
