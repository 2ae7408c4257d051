// The wait for a disc, which the copy engine needs before it opens a part.
// Supplied by the front end, which owns the console dialogues.
#pragma once

// Waits until something named source_path exists, asking for its disc while
// it does not. True when it is present, false when the user abandoned the
// wait with Esc (or there is no console to wait on).
bool wait_for_part();
