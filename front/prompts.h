// The two console dialogues: the overwrite question and the wait for a disc.
#pragma once

// Asks whether the existing destination may be overwritten. True for yes.
// Without a console to answer, the answer is no.
bool confirm_overwrite();

// One answer character from the console, or 0 when there is no console
// to read from.
char read_answer();

// Waits until something named source_path exists, asking for its disc while
// it does not. True when it is present, false when the user abandoned the
// wait with Esc (or there is no console to wait on).
bool wait_for_part();
