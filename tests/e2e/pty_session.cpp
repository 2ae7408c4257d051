// Pseudo-terminal sessions for the dialogue tests.
#include "tests/e2e/pty_session.h"
#include "tests/e2e/run_tool.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

int ms_left(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

void collect_exit(PtySession& session, int status)
{
    session.ended = true;
    if (WIFEXITED(status))
        session.exit_code = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        session.signal = WTERMSIG(status);
}

bool reap(PtySession& session, bool block)
{
    if (session.ended || session.pid <= 0)
        return session.ended;
    int status = 0;
    if (waitpid(session.pid, &status, block ? 0 : WNOHANG) == session.pid)
        collect_exit(session, status);
    return session.ended;
}

// Reads what is there within wait_ms; false once the terminal has no writer left.
bool read_some(PtySession& session, int wait_ms)
{
    if (session.master < 0)
        return false;
    pollfd ready = {session.master, POLLIN, 0};
    if (poll(&ready, 1, wait_ms) <= 0)
        return true;
    char buffer[4096];
    ssize_t got = read(session.master, buffer, sizeof buffer);
    if (got > 0) {
        session.raw_output.append(buffer, static_cast<size_t>(got));
        return true;
    }
    // EIO: every slave descriptor is closed, the program has gone.
    return got < 0 && errno == EINTR;
}

size_t occurrences(const std::string& haystack, const std::string& needle)
{
    size_t count = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + needle.size()))
        ++count;
    return count;
}

} // namespace

bool pty_start(PtySession& session, const std::vector<std::string>& argv, const std::string& cwd,
               const PtyOptions& options)
{
    winsize size = {50, 200, 0, 0};
    termios mode;
    if (options.mode)
        mode = *options.mode;
    pid_t child = forkpty(&session.master, nullptr, options.mode ? &mode : nullptr, &size);
    if (child < 0)
        return false;
    if (child == 0) {
        if (options.ignore_hangup)
            signal(SIGHUP, SIG_IGN);
        exec_in_directory(argv, cwd);
    }
    session.pid = child;
    // The slave is set up before fork returns, so these keys are queued ahead of the program.
    pty_send(session, options.typed_before);
    return true;
}

void pty_send(PtySession& session, const std::string& keys)
{
    size_t done = 0;
    while (done < keys.size()) {
        ssize_t put = write(session.master, keys.data() + done, keys.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return;
        done += static_cast<size_t>(put);
    }
}

std::string pty_output(const PtySession& session)
{
    std::string text;
    const std::string& raw = session.raw_output;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')
            continue;
        text += raw[i];
    }
    return text;
}

bool pty_wait_for(PtySession& session, const std::string& text, int times, int timeout_ms)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        if (occurrences(pty_output(session), text) >= static_cast<size_t>(times))
            return true;
        int left = ms_left(deadline);
        if (left == 0 || !read_some(session, left))
            return occurrences(pty_output(session), text) >= static_cast<size_t>(times);
    }
}

bool pty_stays_quiet(PtySession& session, int quiet_ms)
{
    size_t before = session.raw_output.size();
    auto deadline = Clock::now() + std::chrono::milliseconds(quiet_ms);
    while (ms_left(deadline) > 0)
        if (!read_some(session, ms_left(deadline)))
            break;
    return session.raw_output.size() == before && !reap(session, false);
}

bool pty_wait_for_mode(PtySession& session, tcflag_t lflag_on, tcflag_t lflag_off, tcflag_t iflag_on,
                       int timeout_ms)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        termios mode;
        if (tcgetattr(session.master, &mode) != 0)
            return false;
        if ((mode.c_lflag & lflag_on) == lflag_on && (mode.c_lflag & lflag_off) == 0 &&
            (mode.c_iflag & iflag_on) == iflag_on)
            return true;
        if (ms_left(deadline) == 0 || !read_some(session, 5))
            return false;
    }
}

int pty_finish(PtySession& session, int timeout_ms)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (ms_left(deadline) > 0 && read_some(session, ms_left(deadline))) {
    }
    // Output is drained; the exit itself may lag a little behind the last close.
    while (!reap(session, false) && ms_left(deadline) > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!session.ended) {
        kill(session.pid, SIGKILL);
        reap(session, true);
        session.exit_code = -1;
    }
    return session.exit_code;
}

void pty_hang_up(PtySession& session)
{
    if (session.master >= 0)
        close(session.master);
    session.master = -1;
}

void pty_close(PtySession& session)
{
    if (session.pid > 0 && !reap(session, false)) {
        kill(session.pid, SIGKILL);
        reap(session, true);
    }
    pty_hang_up(session);
}

std::vector<std::string> pty_open_files(const PtySession& session)
{
    std::vector<std::string> paths;
    std::string fd_dir = "/proc/" + std::to_string(session.pid) + "/fd";
    DIR* dir = opendir(fd_dir.c_str());
    if (dir == nullptr)
        return paths;
    while (const dirent* entry = readdir(dir)) {
        char target[PATH_MAX];
        ssize_t length = readlink((fd_dir + "/" + entry->d_name).c_str(), target, sizeof target - 1);
        if (length > 0)
            paths.emplace_back(target, static_cast<size_t>(length));
    }
    closedir(dir);
    return paths;
}
