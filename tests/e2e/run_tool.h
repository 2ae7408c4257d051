// Runs a built binary as a user would, without a terminal, and collects its
// exit code and standard output.
#pragma once
#include <string>
#include <vector>

struct Outcome {
    int exit_code;       // -1 when it had to be killed or did not exit normally
    std::string output;  // standard output
    std::string errors;  // standard error
};

// Runs argv[0] with the given arguments in directory cwd, in a new session
// (so it has no controlling terminal), standard input from /dev/null.
// Kills it after timeout_seconds.
Outcome run_tool(const std::vector<std::string>& argv, const std::string& cwd, int timeout_seconds = 60);

// In a forked child: changes to cwd and executes argv[0] with argv, or ends
// the child with 126 (no such directory) or 127 (nothing to execute).
[[noreturn]] void exec_in_directory(const std::vector<std::string>& argv, const std::string& cwd);

// Reads a whole file; empty when it cannot be read.
std::vector<unsigned char> read_file(const std::string& path);

bool file_exists(const std::string& path);

// A fresh, empty directory under base, removed by remove_tree.
std::string make_temp_dir(const std::string& base);
void remove_tree(const std::string& path);
