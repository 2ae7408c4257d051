// What every room of the run shares: its status codes and the few
// process-wide buffers. The driver defines and owns the buffers; the copy
// engine renames the two paths per part.
#pragma once

#include "platform/path_rules.h"
#include "transfer/image_header.h"

// Outcomes of a run, which are also the process exit codes.
constexpr int STATUS_OK = 0;
constexpr int STATUS_USAGE = 1;
constexpr int STATUS_BAD_EXTENSION = 2;
constexpr int STATUS_SOURCE_OPEN = 3;
constexpr int STATUS_SOURCE_READ = 4;
constexpr int STATUS_DEST_OPEN = 5;
constexpr int STATUS_DEST_WRITE = 6;
constexpr int STATUS_OUT_OF_MEMORY = 8;
constexpr int STATUS_BAD_SIGNATURE = 9;

// The current source and destination part.
extern char source_path[PATH_BUFFER_SIZE];
extern char dest_path[PATH_BUFFER_SIZE];

// The one sector-aligned block of CHUNK_SIZE bytes used for every read and write.
extern unsigned char* transfer_buffer;

// The run's image header: part 0's at first, then that of the accepted end marker.
extern ImageHeader header_copy;
