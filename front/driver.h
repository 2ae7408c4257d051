// The conversion run: the process-wide buffers it owns and its one sequence.
#pragma once

#include "platform/path_rules.h"
#include "transfer/image_header.h"

// The current source and destination part; the copy engine renames both per part.
extern char source_path[PATH_BUFFER_SIZE];
extern char dest_path[PATH_BUFFER_SIZE];

// The one sector-aligned block of CHUNK_SIZE bytes used for every read and write.
extern unsigned char* transfer_buffer;

// The run's image header: part 0's at first, then that of the accepted end marker.
extern ImageHeader header_copy;

// From the transfer buffer to the closing message: opens part 0, classifies
// its header and copies the image. Returns STATUS_OK (converted, or already
// converted) or the status of the failure, with everything it held released.
int convert_image();

// Runs the whole conversion for the argument vector. Returns STATUS_OK or
// STATUS_USAGE; every other outcome ends the process through error_exit.
int run_conversion(int argc, char** argv);
