// The console keyboard: a line read with echo and a key read without echo.
#pragma once

constexpr int CONSOLE_FAILED = -1;

// Reads from the current line, echoed, at most capacity characters; what is
// not taken stays pending for the next line read. The line end is delivered
// as typed ('\r' or '\n'). Returns the count taken (at least 1), or
// CONSOLE_FAILED when there is no console or the read fails.
int console_read_line(char* buffer, int capacity);

// Waits for one key press, not echoed, with control keys delivered as
// ordinary keys. Returns its character code (13 for Enter, 27 for Esc,
// 0 for a key that has a code of its own rather than a character, such as a
// cursor or function key), or CONSOLE_FAILED.
int console_read_key();
