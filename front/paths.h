// Composing the first source and destination part names from the arguments.
#pragma once

// Fills source_path from the drive or directory argument: a separator is
// added unless it ends in one, then the name of part 0. Returns STATUS_OK, or
// STATUS_SOURCE_OPEN when the composed name would not fit (source_path then
// holds the argument as typed, cut to fit).
int compose_source_path(const char* argument);

// Fills dest_path from the destination argument. A name whose extension is
// ".IMG" in any letter case is kept as typed, one without an extension gets
// ".IMG". Returns STATUS_OK, STATUS_BAD_EXTENSION for any other extension, or
// STATUS_DEST_OPEN when the composed name would not fit.
int compose_dest_path(const char* argument);
