/* Shared by the preloaded fault shims: which file a descriptor is open on. */
#pragma once
#include <stdio.h>
#include <string.h>
#include <unistd.h>

/* True when the path fd is open on ends with suffix (NULL: never). */
static int fd_path_ends_with(int fd, const char* suffix)
{
    char link[64], path[4096];
    if (suffix == NULL)
        return 0;
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t length = readlink(link, path, sizeof path - 1);
    if (length <= 0)
        return 0;
    path[length] = '\0';
    size_t wanted = strlen(suffix);
    return (size_t)length >= wanted && strcmp(path + length - wanted, suffix) == 0;
}
