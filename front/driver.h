// The conversion run: its one sequence, from the arguments to the exit code.
// It defines and owns the process-wide buffers of transfer/run_state.h.
#pragma once

#include "transfer/run_state.h"

// From the transfer buffer to the closing message: opens part 0, classifies
// its header and copies the image. Returns STATUS_OK (converted, or already
// converted) or the status of the failure, with everything it held released.
int convert_image();

// Runs the whole conversion for the argument vector. Returns STATUS_OK or
// STATUS_USAGE; every other outcome ends the process through error_exit.
int run_conversion(int argc, char** argv);
