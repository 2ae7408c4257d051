// The two console dialogues: the overwrite question and the wait for a disc
// (declared where the copy engine needs it, in transfer/disc_wait.h).
#pragma once

#include "transfer/disc_wait.h"

// Asks whether the existing destination may be overwritten. True for yes.
// Without a console to answer, the answer is no.
bool confirm_overwrite();

// One answer character from the console, or 0 when there is no console
// to read from.
char read_answer();
