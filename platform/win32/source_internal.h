// What the Windows file services share about an open source part.
#pragma once

#include <windows.h>

struct SourceFile;

// The handle behind an open source part.
HANDLE source_handle(SourceFile* file);
