// Process set-up on Windows.
#include "platform/startup.h"

#include <io.h>
#include <windows.h>

#include <cstdio>

void platform_startup()
{
    // An empty drive then fails the existence test instead of showing a dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS);
    // Prompts and progress end without a line end; on a console show them at once.
    if (_isatty(_fileno(stdout)))
        setvbuf(stdout, nullptr, _IONBF, 0);
}
