// The console on POSIX: the controlling terminal, each read under a mode of its own.
#include "platform/console.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace {

// Bytes that follow Esc within this gap belong to one key's escape sequence;
// a person cannot press a second key that fast.
constexpr int ESCAPE_SEQUENCE_GAP_MS = 40;

constexpr int KEY_ENTER = 13;
constexpr int KEY_ESC = 27;
constexpr int KEY_WITHOUT_CHARACTER = 0;

int tty = -1;
bool tty_tried = false;

// Signals that end the process by default and can arrive during a read; the
// terminal must not be left in a read's mode when one does.
constexpr int ENDING_SIGNALS[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};
constexpr int ENDING_SIGNAL_COUNT = sizeof ENDING_SIGNALS / sizeof ENDING_SIGNALS[0];

// The mode to put back if a signal ends the process during a read.
termios mode_before_read;
struct sigaction handling_before_read[ENDING_SIGNAL_COUNT];

extern "C" void restore_and_end(int signal_number)
{
    tcsetattr(tty, TCSANOW, &mode_before_read);
    // End as the signal would have: its default action, once it is unblocked on return.
    ::signal(signal_number, SIG_DFL);
    raise(signal_number);
}

// Catches the ending signals for the length of one read, except those the
// process was started ignoring (as under nohup).
void guard_mode(const termios& saved)
{
    mode_before_read = saved;
    for (int i = 0; i < ENDING_SIGNAL_COUNT; ++i) {
        struct sigaction guard = {};
        guard.sa_handler = restore_and_end;
        sigemptyset(&guard.sa_mask);
        for (int other : ENDING_SIGNALS)
            sigaddset(&guard.sa_mask, other);
        sigaction(ENDING_SIGNALS[i], nullptr, &handling_before_read[i]);
        if (handling_before_read[i].sa_handler != SIG_IGN)
            sigaction(ENDING_SIGNALS[i], &guard, nullptr);
    }
}

void unguard_mode()
{
    for (int i = 0; i < ENDING_SIGNAL_COUNT; ++i)
        sigaction(ENDING_SIGNALS[i], &handling_before_read[i], nullptr);
}

// Opens the controlling terminal on first use and keeps it for the run:
// standard input may be redirected, and the answers must come from a person.
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

// TCSANOW, never a flushing variant: input typed ahead stays pending.
bool set_mode(int fd, const termios& mode)
{
    int result;
    do
        result = tcsetattr(fd, TCSANOW, &mode);
    while (result != 0 && errno == EINTR);
    return result == 0;
}

void leave_mode(int fd, const termios& saved)
{
    set_mode(fd, saved);
    unguard_mode();
}

// Sets the mode for one read, keeping the previous one in saved. Enter must
// end a line whatever the terminal was left with, so CR is mapped to LF and
// neither dropped nor swapped.
bool enter_mode(int fd, termios& saved, bool line_mode)
{
    if (tcgetattr(fd, &saved) != 0)
        return false;
    guard_mode(saved);
    termios mode = saved;
    mode.c_iflag &= ~(INLCR | IGNCR);
    mode.c_iflag |= ICRNL;
    if (line_mode) {
        mode.c_lflag |= ICANON | ECHO | ISIG;
    } else {
        // Ctrl+C, Ctrl+Z, Ctrl+S and the like arrive as ordinary keys.
        mode.c_lflag &= ~(ICANON | ECHO | ISIG | IEXTEN);
        mode.c_iflag &= ~IXON;
        mode.c_cc[VMIN] = 1;
        mode.c_cc[VTIME] = 0;
    }
    if (set_mode(fd, mode))
        return true;
    set_mode(fd, saved);
    unguard_mode();
    return false;
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
        if (byte == '\r' || byte == '\n')
            key = KEY_ENTER;
        else if (byte == KEY_ESC && take_escape_sequence(fd))
            key = KEY_WITHOUT_CHARACTER;
    }
    leave_mode(fd, saved);
    return key;
}
