// Overwrite question and disc wait, over the platform's console reads.
#include "front/prompts.h"

#include <cstdio>

#include "front/ascii.h"
#include "platform/console.h"
#include "platform/source_file.h"
#include "transfer/run_state.h"

namespace {

// A line read takes at most two characters: a letter and the line end. What
// it leaves of a longer answer stays pending and is taken by the next read,
// so "xyz" counts as two unusable answers, "xy" and "z".
constexpr int ANSWER_CAPACITY = 2;
constexpr char KEY_ENTER = 13;
constexpr char KEY_ESC = 27;

// A line read ends in a carriage return on some consoles and a line feed on
// others; both end the text here.
bool is_line_end(char c)
{
    return c == '\r' || c == '\n';
}

} // namespace

char read_answer()
{
    for (;;) {
        char taken[ANSWER_CAPACITY];
        fflush(stdout);
        int count = console_read_line(taken, ANSWER_CAPACITY);
        if (count == CONSOLE_FAILED)
            return 0;
        int length = count;
        if (is_line_end(taken[0]))
            length = 0;
        else if (count == 2 && is_line_end(taken[1]))
            length = 1;
        if (length == 0 || taken[length - 1] == KEY_ESC)
            continue;
        return taken[0];
    }
}

bool confirm_overwrite()
{
    printf("Warning: The target image already exists!\nDo you want to overwrite it (Y/N)? ");
    char answer = ascii_upper(read_answer());
    while (answer != 'Y' && answer != 'N' && answer != 0) {
        // One backspace per refused answer is what the tool has always
        // printed; scripts that read its output count on it.
        printf("\b");
        answer = ascii_upper(read_answer());
    }
    printf("\n");
    return answer == 'Y';
}

bool wait_for_part()
{
    while (!source_exists(source_path)) {
        printf("Please insert disc for file %s and press enter.", source_path);
        fflush(stdout);
        int key;
        do
            key = console_read_key();
        while (key != KEY_ENTER && key != KEY_ESC && key != CONSOLE_FAILED);
        printf("\n");
        if (key != KEY_ENTER)
            return false;
    }
    return true;
}
