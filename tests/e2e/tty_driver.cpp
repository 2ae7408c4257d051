// Pseudo-terminal runs for the dialogue tests: a pty of their own, typing,
// output, and watching through /proc which read the tool is blocked in.
#include "tests/e2e/tty_driver.h"
#include "tests/e2e/run_tool.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using Clock = std::chrono::steady_clock;

int ms_left(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// The pty turns every "\n" into "\r\n" (ONLCR, and the echo of Enter); the
// tests compare text as the tool printed it, so each pair becomes "\n".
void append_shown(TtyRun& run, const char* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        char c = bytes[i];
        if (run.saw_cr) {
            run.saw_cr = false;
            if (c != '\n')
                run.shown += '\r';
        }
        if (c == '\r')
            run.saw_cr = true;
        else
            run.shown += c;
    }
}

// Takes what output arrives within wait_ms. False once the terminal is closed.
bool collect(TtyRun& run, int wait_ms)
{
    if (run.master < 0)
        return false;
    pollfd ready = {run.master, POLLIN, 0};
    int got = poll(&ready, 1, wait_ms);
    if (got <= 0)
        return got == 0 || errno == EINTR;
    char buffer[4096];
    ssize_t count = read(run.master, buffer, sizeof buffer);
    if (count > 0) {
        append_shown(run, buffer, static_cast<size_t>(count));
        return true;
    }
    // EIO: the tool's side of the terminal is closed, it has ended.
    return count < 0 && errno == EINTR;
}

// Takes the output already waiting, without waiting for more.
void drain(TtyRun& run)
{
    for (;;) {
        pollfd ready = {run.master, POLLIN, 0};
        if (run.master < 0 || poll(&ready, 1, 0) <= 0 || !(ready.revents & POLLIN))
            return;
        char buffer[4096];
        ssize_t count = read(run.master, buffer, sizeof buffer);
        if (count <= 0)
            return;
        append_shown(run, buffer, static_cast<size_t>(count));
    }
}

std::string read_text(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Bytes the process has taken with read() so far, -1 when unknown.
long long bytes_read(pid_t pid)
{
    std::istringstream io(read_text("/proc/" + std::to_string(pid) + "/io"));
    std::string key;
    long long value;
    while (io >> key >> value)
        if (key == "rchar:")
            return value;
    return -1;
}

// The descriptor the process is blocked reading, or -1 when it is not blocked in read().
int blocked_read_fd(pid_t pid)
{
    std::istringstream call(read_text("/proc/" + std::to_string(pid) + "/syscall"));
    long number = -1;
    std::string fd_hex;
    if (!(call >> number >> fd_hex) || number != SYS_read)
        return -1;
    return static_cast<int>(strtol(fd_hex.c_str(), nullptr, 16));
}

std::string fd_target(pid_t pid, int fd)
{
    std::error_code error;
    auto target = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd), error);
    return error ? std::string() : target.string();
}

// The state letter /proc shows for a process ('T' when stopped), 0 when it is gone.
char process_state(pid_t pid)
{
    std::string stat = read_text("/proc/" + std::to_string(pid) + "/stat");
    size_t name_end = stat.rfind(')');
    return name_end != std::string::npos && name_end + 2 < stat.size() ? stat[name_end + 2] : 0;
}

// The first child of a process, -1 while it has none.
pid_t first_child(pid_t pid)
{
    std::istringstream children(
        read_text("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children"));
    pid_t child = -1;
    return children >> child ? child : -1;
}

// The mode each kind of read sets for itself, whatever the terminal had.
bool in_read_mode(const termios& mode, ReadKind kind)
{
    const tcflag_t line_editing = ICANON | ECHO | ISIG;
    tcflag_t set = mode.c_lflag & line_editing;
    return (mode.c_iflag & ICRNL) != 0 && set == (kind == ReadKind::LINE ? line_editing : 0);
}

bool same_mode(const termios& a, const termios& b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
           memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

} // namespace

bool tty_start(TtyRun& run, const std::vector<std::string>& argv, const std::string& cwd, TtyOptions options)
{
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return false;
    // A new pty has the system's default mode; the options change it.
    termios& mode = run.start_mode;
    if (tcgetattr(slave, &mode) != 0) {
        close(slave);
        close(master);
        return false;
    }
    if (options.enter_sends_cr)
        mode.c_iflag &= ~ICRNL;
    if (options.echo_off)
        mode.c_lflag &= ~ECHO;
    tcsetattr(slave, TCSANOW, &mode);
    run.master = master;

    // Keys typed now wait in the terminal's input queue. Their echo is made
    // as they arrive; taking it here keeps it ahead of anything the tool shows.
    if (!options.typed_before.empty()) {
        tty_type(run, options.typed_before);
        if (mode.c_lflag & ECHO)
            collect(run, 1000);
    }

    pid_t child = fork();
    if (child < 0) {
        close(slave);
        tty_hang_up(run);
        return false;
    }
    if (child == 0) {
        close(master);
        if (login_tty(slave) != 0)
            _exit(126);
        if (options.stdin_from_null) {
            int null_in = open("/dev/null", O_RDONLY);
            dup2(null_in, STDIN_FILENO);
        }
        if (options.ignore_hangup)
            signal(SIGHUP, SIG_IGN);
        exec_in_directory(argv, cwd);
    }
    close(slave);
    run.pid = child;
    run.reader = child;
    run.typed_at = 0;
    return true;
}

bool tty_watch_child(TtyRun& run, int timeout_ms)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        pid_t child = first_child(run.pid);
        if (child > 0) {
            run.reader = child;
            run.typed_at = bytes_read(child);
            return true;
        }
        if (ms_left(deadline) == 0 || !collect(run, 5))
            return false;
    }
}

bool tty_type(TtyRun& run, const std::string& text)
{
    run.typed_at = run.reader > 0 ? bytes_read(run.reader) : 0;
    return write(run.master, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

bool tty_wait_for_read(TtyRun& run, ReadKind kind, int taken, int timeout_ms)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    pid_t pid = run.reader;
    for (;;) {
        // The bytes must have been taken before the blocked read is seen, or
        // the read seen could be the one taking them, with the tool about to
        // restore its mode; and nothing may be taken while looking.
        long long before = bytes_read(pid);
        int fd = blocked_read_fd(pid);
        termios mode;
        bool mode_matches = tcgetattr(run.master, &mode) == 0 && in_read_mode(mode, kind);
        if (before >= run.typed_at + taken && fd >= 0 && mode_matches && fd_target(pid, fd) == "/dev/tty" &&
            blocked_read_fd(pid) == fd && bytes_read(pid) == before) {
            // All it wrote before blocking is waiting on the terminal: shown holds it on return.
            drain(run);
            return true;
        }
        if (ms_left(deadline) == 0 || !collect(run, 5))
            return false;
    }
}

bool tty_wait_stopped(TtyRun& run, int timeout_ms)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (process_state(run.reader) != 'T')
        if (ms_left(deadline) == 0 || !collect(run, 5))
            return false;
    return true;
}

bool tty_in_start_mode(const TtyRun& run)
{
    termios mode;
    return tcgetattr(run.master, &mode) == 0 && same_mode(mode, run.start_mode);
}

bool tty_set_start_mode(TtyRun& run)
{
    return tcsetattr(run.master, TCSANOW, &run.start_mode) == 0;
}

void tty_hang_up(TtyRun& run)
{
    drain(run);
    if (run.master >= 0)
        close(run.master);
    run.master = -1;
}

int tty_finish(TtyRun& run, int timeout_ms)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (ms_left(deadline) > 0 && collect(run, ms_left(deadline))) {
    }
    // The mode belongs to the terminal and outlives the tool's side of it.
    run.end_mode_known = run.master >= 0 && tcgetattr(run.master, &run.end_mode) == 0;
    if (run.saw_cr)
        run.shown += '\r';
    run.saw_cr = false;
    tty_hang_up(run);

    int status = 0;
    pid_t ended = 0;
    while ((ended = waitpid(run.pid, &status, WNOHANG)) == 0 && ms_left(deadline) > 0)
        usleep(10000);
    if (ended == 0) {
        kill(run.pid, SIGKILL);
        waitpid(run.pid, &status, 0);
        return -1;
    }
    if (ended < 0)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool tty_mode_restored(const TtyRun& run)
{
    return run.end_mode_known && same_mode(run.start_mode, run.end_mode);
}

std::vector<std::string> tty_open_files(pid_t pid)
{
    std::vector<std::string> paths;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        std::error_code link_error;
        auto target = std::filesystem::read_symlink(entry.path(), link_error);
        if (!link_error)
            paths.push_back(target.string());
    }
    return paths;
}

bool tty_can_watch_reads(std::string& reason)
{
    // This very process is inside read() while it reads its own syscall file.
    if (blocked_read_fd(getpid()) < 0) {
        reason = "/proc/<pid>/syscall does not show the blocking call here";
        return false;
    }
    if (bytes_read(getpid()) < 0) {
        reason = "/proc/<pid>/io cannot be read here";
        return false;
    }
    return true;
}
