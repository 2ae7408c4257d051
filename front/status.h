// Status codes of a run, which are also the process exit codes, and the one way a failure ends it.
#pragma once

constexpr int STATUS_OK = 0;
constexpr int STATUS_USAGE = 1;
constexpr int STATUS_BAD_EXTENSION = 2;
constexpr int STATUS_SOURCE_OPEN = 3;
constexpr int STATUS_SOURCE_READ = 4;
constexpr int STATUS_DEST_OPEN = 5;
constexpr int STATUS_DEST_WRITE = 6;
constexpr int STATUS_OUT_OF_MEMORY = 8;
constexpr int STATUS_BAD_SIGNATURE = 9;

// Prints "\n" and the failure message of code, naming the path buffer the
// code is about as it stands now.
void print_failure(int code);

// Prints the failure and ends the process with code as exit status, flushing
// standard output. The caller has already released what it holds.
[[noreturn]] void error_exit(int code);
