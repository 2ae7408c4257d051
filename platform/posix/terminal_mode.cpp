// Terminal modes on POSIX: one read's mode set and put back, safe against
// signals that end, stop or continue the process in the middle of the read.
#include "platform/posix/terminal_mode.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace {

int tty = -1;
bool tty_tried = false;

// Signals that end the process by default and can arrive during a read; the
// terminal must not be left in a read's mode when one does.
constexpr int ENDING_SIGNALS[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};
constexpr int ENDING_SIGNAL_COUNT = sizeof ENDING_SIGNALS / sizeof ENDING_SIGNALS[0];

// The mode to put back if a signal ends or stops the process during a read,
// and the read's own mode, to set again when the process is continued.
termios mode_before_read;
termios mode_in_read;
struct sigaction handling_before_read[ENDING_SIGNAL_COUNT];
struct sigaction stop_handling_before_read;
struct sigaction continue_handling_before_read;

extern "C" void restore_and_end(int signal_number)
{
    tcsetattr(tty, TCSANOW, &mode_before_read);
    // End as the signal would have: its default action, once it is unblocked on return.
    ::signal(signal_number, SIG_DFL);
    raise(signal_number);
}

// After a stop the shell has had the terminal and set modes of its own.
extern "C" void reapply_read_mode(int)
{
    int saved_errno = errno;
    tcsetattr(tty, TCSANOW, &mode_in_read);
    errno = saved_errno;
}

// Ctrl+Z at the question, or a stop sent by kill: the terminal goes back to
// its mode while the process is stopped, and the read's mode returns with it.
extern "C" void restore_and_stop(int signal_number)
{
    int saved_errno = errno;
    tcsetattr(tty, TCSANOW, &mode_before_read);
    struct sigaction default_action = {};
    struct sigaction ours;
    default_action.sa_handler = SIG_DFL;
    sigemptyset(&default_action.sa_mask);
    sigaction(signal_number, &default_action, &ours);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, signal_number);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);
    raise(signal_number);  // stopped here until continued
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    sigaction(signal_number, &ours, nullptr);
    errno = saved_errno;
    reapply_read_mode(SIGCONT);
}

// Every signal caught during a read: each handler runs with all of them held off.
sigset_t guarded_signals()
{
    sigset_t guarded;
    sigemptyset(&guarded);
    for (int signal_number : ENDING_SIGNALS)
        sigaddset(&guarded, signal_number);
    sigaddset(&guarded, SIGTSTP);
    sigaddset(&guarded, SIGCONT);
    return guarded;
}

void catch_signal(int signal_number, void (*handler)(int), struct sigaction& before)
{
    struct sigaction guard = {};
    guard.sa_handler = handler;
    guard.sa_mask = guarded_signals();
    sigaction(signal_number, nullptr, &before);
    if (before.sa_handler != SIG_IGN)
        sigaction(signal_number, &guard, nullptr);
}

// Catches the ending and stopping signals for the length of one read, except
// those the process was started ignoring (as under nohup, or a shell without
// job control). SIGSTOP cannot be caught; the continue that follows it can.
void guard_mode(const termios& saved, const termios& mode)
{
    // Both are in place before any handler can run.
    mode_before_read = saved;
    mode_in_read = mode;
    for (int i = 0; i < ENDING_SIGNAL_COUNT; ++i)
        catch_signal(ENDING_SIGNALS[i], restore_and_end, handling_before_read[i]);
    catch_signal(SIGTSTP, restore_and_stop, stop_handling_before_read);
    catch_signal(SIGCONT, reapply_read_mode, continue_handling_before_read);
}

void unguard_mode()
{
    for (int i = 0; i < ENDING_SIGNAL_COUNT; ++i)
        sigaction(ENDING_SIGNALS[i], &handling_before_read[i], nullptr);
    sigaction(SIGTSTP, &stop_handling_before_read, nullptr);
    sigaction(SIGCONT, &continue_handling_before_read, nullptr);
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

} // namespace

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

// Held off while the mode goes back, so no handler sets the read's mode
// again after it, and none finds its own handling half put back.
void leave_mode(int fd, const termios& saved)
{
    sigset_t guarded = guarded_signals();
    sigset_t before;
    sigprocmask(SIG_BLOCK, &guarded, &before);
    set_mode(fd, saved);
    unguard_mode();
    sigprocmask(SIG_SETMASK, &before, nullptr);
}

// Sets the mode for one read, keeping the previous one in saved. Enter must
// end a line whatever the terminal was left with, so CR is mapped to LF and
// neither dropped nor swapped.
bool enter_mode(int fd, termios& saved, bool line_mode)
{
    if (tcgetattr(fd, &saved) != 0)
        return false;
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
    guard_mode(saved, mode);
    if (set_mode(fd, mode))
        return true;
    leave_mode(fd, saved);
    return false;
}

