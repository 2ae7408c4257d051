// Process set-up the platform wants before the run starts.
#pragma once

// Makes standard output show each message at once when it is a terminal,
// and anything else the platform needs for a console tool.
void platform_startup();
