// The console on POSIX: line and key reads on the controlling terminal, and
// the decoding of the bytes a key sends into one key code.
#include "platform/console.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/terminal_mode.h"

namespace {

// Bytes that follow Esc within this gap belong to one key's escape sequence;
// a person cannot press a second key that fast.
constexpr int ESCAPE_SEQUENCE_GAP_MS = 40;

constexpr int KEY_ENTER = 13;
constexpr int KEY_ESC = 27;
constexpr int KEY_WITHOUT_CHARACTER = 0;

ssize_t read_retrying(int fd, void* buffer, size_t count)
{
    ssize_t got;
    do
        got = read(fd, buffer, count);
    while (got < 0 && errno == EINTR);
    return got;
}

// The next byte if one arrives within the escape-sequence gap.
bool next_byte_soon(int fd, unsigned char& byte)
{
    pollfd waiting = {fd, POLLIN, 0};
    int ready;
    do
        ready = poll(&waiting, 1, ESCAPE_SEQUENCE_GAP_MS);
    while (ready < 0 && errno == EINTR);
    return ready > 0 && (waiting.revents & POLLIN) && read_retrying(fd, &byte, 1) == 1;
}

// Takes the rest of a key that began with Esc: "Esc [ parameters final" for
// cursor and function keys, "Esc O x" for some of them, "Esc x" for Alt+x.
// Returns false when Esc came alone.
bool take_escape_sequence(int fd)
{
    unsigned char byte;
    if (!next_byte_soon(fd, byte))
        return false;
    if (byte == '[') {
        // Parameter and intermediate bytes run up to a final byte in 0x40-0x7E.
        while (next_byte_soon(fd, byte) && (byte < 0x40 || byte > 0x7e)) {
        }
    } else if (byte == 'O') {
        next_byte_soon(fd, byte);
    }
    return true;
}

// The rest of the last typed line that a line read did not take. It belongs
// to the next line read only: left in the terminal, a key read would take it.
// A canonical terminal holds at most 4095 characters and the line end.
char pending_line[4096];
size_t pending_start = 0;
size_t pending_end = 0;

// Takes one whole typed line (or what Ctrl+D sent) from the terminal into
// pending_line. False when there is nothing to read.
bool take_typed_line(int fd)
{
    termios saved;
    if (!enter_mode(fd, saved, true))
        return false;
    ssize_t got = read_retrying(fd, pending_line, sizeof pending_line);
    leave_mode(fd, saved);
    if (got <= 0)
        return false;
    pending_start = 0;
    pending_end = static_cast<size_t>(got);
    return true;
}

} // namespace

int console_read_line(char* buffer, int capacity)
{
    int fd = console_descriptor();
    if (fd == -1 || capacity <= 0)
        return CONSOLE_FAILED;
    if (pending_start == pending_end && !take_typed_line(fd))
        return CONSOLE_FAILED;
    size_t taken = pending_end - pending_start;
    if (taken > static_cast<size_t>(capacity))
        taken = static_cast<size_t>(capacity);
    memcpy(buffer, pending_line + pending_start, taken);
    pending_start += taken;
    return static_cast<int>(taken);
}

int console_read_key()
{
    int fd = console_descriptor();
    termios saved;
    if (fd == -1 || !enter_mode(fd, saved, false))
        return CONSOLE_FAILED;
    unsigned char byte;
    int key = CONSOLE_FAILED;
    if (read_retrying(fd, &byte, 1) == 1) {
        key = byte;
        if (byte == '\r' || byte == '\n')
            key = KEY_ENTER;
        else if (byte == KEY_ESC && take_escape_sequence(fd))
            key = KEY_WITHOUT_CHARACTER;
    }
    leave_mode(fd, saved);
    return key;
}
