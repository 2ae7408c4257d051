// Pseudo-terminal runs for the dialogue tests: forkpty, typing, output with
// timeouts, and watching which read the tool is blocked in.
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

#include <cerrno>
#include <chrono>
#include <cstdlib>
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

} // namespace

bool tty_start(TtyRun& run, const std::vector<std::string>& argv, const std::string& cwd, TtyOptions options)
{
    // A first pty only shows the system's default mode.
    int probe_master = -1;
    int probe_slave = -1;
    if (openpty(&probe_master, &probe_slave, nullptr, nullptr, nullptr) != 0)
        return false;
    bool have_mode = tcgetattr(probe_slave, &run.start_mode) == 0;
    close(probe_slave);
    close(probe_master);
    if (!have_mode)
        return false;
    if (options.enter_sends_cr)
        run.start_mode.c_iflag &= ~ICRNL;

    int master = -1;
    pid_t child = forkpty(&master, nullptr, &run.start_mode, nullptr);
    if (child < 0)
        return false;
    if (child == 0) {
        if (options.stdin_from_null) {
            int null_in = open("/dev/null", O_RDONLY);
            dup2(null_in, STDIN_FILENO);
        }
        if (options.ignore_hangup)
            signal(SIGHUP, SIG_IGN);
        exec_in_directory(argv, cwd);
    }
    run.pid = child;
    run.master = master;
    return true;
}

bool tty_type(TtyRun& run, const std::string& text)
{
    run.typed_at = bytes_read(run.pid);
    return write(run.master, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

bool tty_wait_for_read(TtyRun& run, ReadKind kind, int taken, int timeout_ms)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        // The bytes must have been taken before the blocked read is seen, or
        // the read seen could be the one taking them, with the tool about to
        // restore its mode; and nothing may be taken while looking.
        long long before = bytes_read(run.pid);
        int fd = blocked_read_fd(run.pid);
        termios mode;
        bool mode_matches = tcgetattr(run.master, &mode) == 0 &&
                            ((mode.c_lflag & ICANON) != 0) == (kind == ReadKind::LINE);
        if (before >= run.typed_at + taken && fd >= 0 && mode_matches && fd_target(run.pid, fd) == "/dev/tty" &&
            blocked_read_fd(run.pid) == fd && bytes_read(run.pid) == before)
            return true;
        if (ms_left(deadline) == 0 || !collect(run, 5))
            return false;
    }
}

void tty_hang_up(TtyRun& run)
{
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
    return (ended > 0 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
}

bool tty_mode_restored(const TtyRun& run)
{
    const termios& a = run.start_mode;
    const termios& b = run.end_mode;
    return run.end_mode_known && a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_lflag == b.c_lflag &&
           a.c_cc[VMIN] == b.c_cc[VMIN] && a.c_cc[VTIME] == b.c_cc[VTIME];
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
