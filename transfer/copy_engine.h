// The part-by-part copy: part naming, opening source parts, and the copy with end detection.
#pragma once
#include <cstdint>

#include "transfer/image_header.h"

struct SourceFile;

// 31 sectors: the transfer buffer's size and the most one read or write moves.
constexpr uint32_t CHUNK_SIZE = 31 * SECTOR_SIZE;

// Part numbers end at .999, the last four-character suffix.
constexpr uint32_t LAST_PART_INDEX = 999;

// Writes the four-character suffix of part n (".IMG", ".001" ... ".999")
// over the last four characters of path. Returns false, leaving path as it
// is, for a part number beyond LAST_PART_INDEX.
bool part_suffix(char* path, uint32_t part_index);

// Prints "\n", waits until source_path is present (the user may abandon the
// wait) and opens it. Returns the open part, or nullptr.
SourceFile* open_source_part();

// Copies the image from part 0 (open, at its start) to the destination
// parts, cut at the end marker, and rewrites destination part 0's header.
// Returns STATUS_OK or the status of the first failure. Every part it
// opened, part 0 included, is closed on return.
int copy_parts(SourceFile* source, ImageHeader& header);
