// The console on POSIX: the controlling terminal, each read under a mode of its own.
#include "platform/console.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace {

// Bytes that follow Esc within this gap belong to one key's escape sequence.
constexpr int ESCAPE_SEQUENCE_GAP_MS = 40;

constexpr int KEY_ENTER = 13;
constexpr int KEY_ESC = 27;

int tty = -1;
bool tty_tried = false;

// Opens the controlling terminal on first use; standard input may be redirected.
int console_descriptor()
{
    if (!tty_tried) {
        tty_tried = true;
        tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    return tty;
}

ssize_t read_retrying(int fd, void* buffer, size_t count)
{
    ssize_t got;
    do
        got = read(fd, buffer, count);
    while (got < 0 && errno == EINTR);
    return got;
}

// Sets the mode for one read; TCSANOW keeps typed-ahead input pending.
bool enter_mode(int fd, termios& saved, bool line_mode)
{
    if (tcgetattr(fd, &saved) != 0)
        return false;
    termios mode = saved;
    if (line_mode) {
        mode.c_lflag |= ICANON | ECHO;
    } else {
        mode.c_lflag &= ~(ICANON | ECHO | ISIG | IEXTEN);
        mode.c_iflag &= ~(IXON);
        mode.c_cc[VMIN] = 1;
        mode.c_cc[VTIME] = 0;
    }
    return tcsetattr(fd, TCSANOW, &mode) == 0;
}

void leave_mode(int fd, const termios& saved)
{
    tcsetattr(fd, TCSANOW, &saved);
}

// True when more bytes arrive within the gap, as after Esc in an escape sequence.
bool more_bytes_soon(int fd)
{
    pollfd waiting = {fd, POLLIN, 0};
    int ready;
    do
        ready = poll(&waiting, 1, ESCAPE_SEQUENCE_GAP_MS);
    while (ready < 0 && errno == EINTR);
    return ready > 0 && (waiting.revents & POLLIN);
}

// Swallows the rest of an escape sequence, byte by byte while they keep coming.
void discard_sequence(int fd)
{
    unsigned char byte;
    while (more_bytes_soon(fd) && read_retrying(fd, &byte, 1) == 1) {
    }
}

} // namespace

int console_read_line(char* buffer, int capacity)
{
    int fd = console_descriptor();
    termios saved;
    if (fd == -1 || !enter_mode(fd, saved, true))
        return CONSOLE_FAILED;
    ssize_t got = read_retrying(fd, buffer, static_cast<size_t>(capacity));
    leave_mode(fd, saved);
    return got > 0 ? static_cast<int>(got) : CONSOLE_FAILED;
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
        if (byte == '\r' || byte == '\n') {
            key = KEY_ENTER;
        } else if (byte == KEY_ESC && more_bytes_soon(fd)) {
            discard_sequence(fd);
            key = 0;
        }
    }
    leave_mode(fd, saved);
    return key;
}
