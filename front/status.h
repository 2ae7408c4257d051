// The failure messages of the status codes, and the one way a failure ends the run.
#pragma once

#include "transfer/run_state.h"

// Prints "\n" and the failure message of code, naming the path buffer the
// code is about as it stands now.
void print_failure(int code);

// Prints the failure and ends the process with code as exit status, flushing
// standard output. The caller has already released what it holds.
[[noreturn]] void error_exit(int code);
