// Process running and file helpers for the end-to-end tests.
#include "tests/e2e/run_tool.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

void exec_in_directory(const std::vector<std::string>& argv, const std::string& cwd)
{
    if (chdir(cwd.c_str()) != 0)
        _exit(126);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

Outcome run_tool(const std::vector<std::string>& argv, const std::string& cwd, int timeout_seconds)
{
    int out_pipe[2];
    int err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0)
        return {-1, "", "pipe failed"};
    pid_t child = fork();
    if (child == 0) {
        setsid();
        int null_in = open("/dev/null", O_RDONLY);
        dup2(null_in, STDIN_FILENO);
        dup2(out_pipe[1], STDOUT_FILENO);
        dup2(err_pipe[1], STDERR_FILENO);
        close(out_pipe[0]);
        close(err_pipe[0]);
        exec_in_directory(argv, cwd);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);

    Outcome outcome{-1, "", ""};
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    int open_pipes = 2;
    bool killed = false;
    while (open_pipes > 0) {
        int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
        if (left <= 0) {
            kill(child, SIGKILL);
            killed = true;
            break;
        }
        if (poll(fds, 2, left) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buffer[4096];
            ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_pipes;
            } else {
                (i == 0 ? outcome.output : outcome.errors).append(buffer, static_cast<size_t>(got));
            }
        }
    }
    for (pollfd& fd : fds)
        if (fd.fd >= 0)
            close(fd.fd);
    int status = 0;
    waitpid(child, &status, 0);
    if (!killed && WIFEXITED(status))
        outcome.exit_code = WEXITSTATUS(status);
    return outcome;
}

std::vector<unsigned char> read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool file_exists(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

std::string make_temp_dir(const std::string& base)
{
    std::string pattern = base + "/spanfetch-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    return mkdtemp(name.data()) ? std::string(name.data()) : std::string();
}

void remove_tree(const std::string& path)
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}
