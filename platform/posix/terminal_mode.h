// The controlling terminal and the mode of one console read, shared by the
// POSIX console reads.
#pragma once

#include <termios.h>

// The controlling terminal, opened on first use and kept for the run:
// standard input may be redirected, and the answers must come from a person.
// -1 when the process has none.
int console_descriptor();

// Sets the mode for one read, a line read with echo or a key read without,
// keeping the previous mode in saved. False when the mode cannot be set.
bool enter_mode(int fd, termios& saved, bool line_mode);

// Puts the mode from before the read back.
void leave_mode(int fd, const termios& saved);
