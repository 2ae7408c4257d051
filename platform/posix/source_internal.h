// What the POSIX file services share about an open source part.
#pragma once

struct SourceFile;

// The descriptor behind an open source part.
int source_descriptor(SourceFile* file);
