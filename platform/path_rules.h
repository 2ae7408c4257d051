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
