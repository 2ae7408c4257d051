// The overwrite question and the disc wait of the built tool, one table each:
// typed at a pseudo-terminal that is its controlling terminal (keys only once
// the tool is blocked in the read they are for), with the terminal set up in
// different ways, hung up, signalled or stopped, and without any terminal.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <optional>

#include "tests/e2e/run_tool.h"
#include "tests/e2e/tty_driver.h"
#include "tools/image_builder.h"

namespace {

const std::string QUESTION = "Warning: The target image already exists!\nDo you want to overwrite it (Y/N)? ";
const std::string PROMPT_PART0 = "Please insert disc for file disc/KORVADIS.IMG and press enter.";
const std::string PROMPT_PART1 = "Please insert disc for file disc/KORVADIS.001 and press enter.";
// A part's copy message starts with a "\n" of its own, after the "\n" that
// comes before each part's prompt or copy message, or that ends a prompt.
const std::string COPY_PART0 = "\n\nCopying file disc/KORVADIS.IMG to out/disk.IMG...";
const std::string COPY_PART1 = "\n\nCopying file disc/KORVADIS.001 to out/disk.001...";
const std::string DONE = "\nCompleted Successfuly\n";
const std::string CONVERTED = COPY_PART0 + COPY_PART1 + DONE;
const std::string UNABLE_PART0 = "\nUnable to open disc/KORVADIS.IMG\n";
const std::string UNABLE_PART1 = "\nUnable to open disc/KORVADIS.001\n";

// What "disc" (a symlink, as a drive's mount point would be) holds at the start.
enum class Disc { BOTH_PARTS, PART0_ONLY, EMPTY };

// How the tool is started.
enum class Terminal {
    COOKED,              // a terminal in its default mode
    ECHO_OFF,            // "stty -echo": both reads' modes differ from the terminal's
    ENTER_SENDS_CR,      // "stty -icrnl": Enter would not end a line
    STDIN_FROM_NULL,     // standard input redirected away from the terminal
    HANGUP_IGNORED,      // as under nohup: a hang-up reaches the reads, not a signal
    ENTER_TYPED_BEFORE,  // Enter already typed when the tool starts
    JOB_CONTROL_SHELL,   // under a shell with job control, echo off: stopped and brought back with fg
    NONE,                // no controlling terminal; answers on standard input are not taken
};

// The destination afterwards: converted, part 0 copied (the run stopped
// asking for part 1), or as it was before the run.
enum class Dest { CONVERTED, PART0_COPIED, UNTOUCHED };

struct Step {
    ReadKind waits;              // the read the tool must be blocked in first
    std::string keys;            // typed in one write
    bool insert_second = false;  // re-point "disc" at the disc with part 1 first
    int signal = 0;              // sent to the tool instead of typing
    bool hang_up = false;        // the terminal hangs up instead
    bool stops = false;          // the tool stops: it must give the terminal back; the shell then runs fg
};

Step line(const char* keys) { return {ReadKind::LINE, keys}; }
Step key(const char* keys) { return {ReadKind::KEY, keys}; }
Step key_on_second_disc(const char* keys) { return {ReadKind::KEY, keys, true}; }
Step send(ReadKind waits, int signal) { return {waits, "", false, signal}; }
Step hang_up(ReadKind waits) { return {waits, "", false, 0, true}; }
Step stop_by_key(ReadKind waits, const char* keys) { return {waits, keys, false, 0, false, true}; }
Step stop_by(ReadKind waits, int signal) { return {waits, "", false, signal, false, true}; }

std::vector<Step> lines(std::initializer_list<const char*> typed)
{
    std::vector<Step> steps;
    for (const char* keys : typed)
        steps.push_back(line(keys));
    return steps;
}

int by_signal(int signal) { return 128 + signal; }

struct DialogueCase {
    const char* name;
    Terminal terminal;
    Disc disc;
    bool dest_exists;
    std::vector<Step> steps;
    int exit_code;                     // 128 + N when signal N ends it
    std::optional<std::string> shown;  // the whole output, "\r\n" as "\n"; none where a shell adds its own
    Dest dest;
};

// Gives every case a test name of its own.
std::string case_name(const ::testing::TestParamInfo<DialogueCase>& info)
{
    std::string name;
    bool upper = false;  // words after the first start in capitals; the first keeps its case ("y", "Y")
    for (const char* c = info.param.name; *c; ++c) {
        if (!isalnum(static_cast<unsigned char>(*c))) {
            upper = true;
            continue;
        }
        name += upper ? static_cast<char>(toupper(static_cast<unsigned char>(*c))) : *c;
        upper = false;
    }
    return name;
}

void PrintTo(const DialogueCase& c, std::ostream* out)
{
    *out << c.name;
}

// A scratch tree per case: out/, "disc" -> disc1, the whole set in disc2, and
// what the case's Disc and dest_exists say moved or written before the start.
class Dialogue : public ::testing::TestWithParam<DialogueCase> {
protected:
    void SetUp() override
    {
        std::string reason;
        if (!tty_can_watch_reads(reason))
            GTEST_SKIP() << "cannot tell when the tool waits for input: " << reason;
        work = make_temp_dir(TEST_SCRATCH_DIR);
        ASSERT_FALSE(work.empty());
        for (const char* dir : {"/out", "/disc1", "/disc2"})
            ASSERT_EQ(mkdir((work + dir).c_str(), 0755), 0);
        ASSERT_EQ(symlink("disc1", (work + "/disc").c_str()), 0);
        // Two parts, the end marker inside part 1.
        set.part_sizes = {200 * 1024, 150 * 1024};
        set.markers = {{1, 100 * 1024}};
        ASSERT_TRUE(write_image_set(set, work + "/disc2"));
    }
    void TearDown() override
    {
        if (!work.empty())
            remove_tree(work);
    }

    void prepare(Disc disc, bool dest_exists)
    {
        if (disc != Disc::EMPTY)
            move_to_first_disc(0);
        if (disc == Disc::BOTH_PARTS)
            move_to_first_disc(1);
        if (dest_exists) {
            write_text(work + "/out/disk.IMG", OLD_PART0);
            write_text(work + "/out/disk.001", OLD_PART1);
        }
    }

    void move_to_first_disc(uint32_t part)
    {
        std::string name = "/" + part_file_name(set.base_name, part);
        ASSERT_EQ(rename((work + "/disc2" + name).c_str(), (work + "/disc1" + name).c_str()), 0);
    }

    // Swaps discs the way a drive's mount point changes: in one step.
    void insert_second_disc()
    {
        ASSERT_EQ(symlink("disc2", (work + "/disc.new").c_str()), 0);
        ASSERT_EQ(rename((work + "/disc.new").c_str(), (work + "/disc").c_str()), 0);
    }

    static void write_text(const std::string& path, const std::string& text)
    {
        FILE* file = fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        fwrite(text.data(), 1, text.size(), file);
        fclose(file);
    }

    std::string text_of(const std::string& path)
    {
        std::vector<unsigned char> bytes = read_file(path);
        return std::string(bytes.begin(), bytes.end());
    }

    // A destination part left as it was before the run.
    void expect_kept(const std::string& path, const std::string& old, bool existed)
    {
        if (existed) {
            EXPECT_TRUE(text_of(path) == old) << path << " changed, now " << text_of(path).size() << " bytes";
        } else {
            EXPECT_FALSE(file_exists(path)) << path << " was created";
        }
    }

    void expect_destination(Dest dest, bool existed)
    {
        const std::string part0 = work + "/out/disk.IMG";
        const std::string part1 = work + "/out/disk.001";
        if (dest == Dest::CONVERTED) {
            auto wanted = expected_parts(set);
            ASSERT_EQ(wanted.size(), 2u);
            EXPECT_TRUE(read_file(part0) == wanted[0]) << "destination part 0";
            EXPECT_TRUE(read_file(part1) == wanted[1]) << "destination part 1";
            return;
        }
        if (dest == Dest::PART0_COPIED) {
            EXPECT_TRUE(read_file(part0) == expected_parts(set, {0, set.part_sizes[0], false})[0])
                << "destination part 0 as copied";
        } else {
            expect_kept(part0, OLD_PART0, existed);
        }
        expect_kept(part1, OLD_PART1, existed);
    }

    // While a key is awaited the source may be swapped: nothing under the
    // disc directories may be held open, and the terminal is open once.
    void expect_only_console_open(pid_t pid)
    {
        int consoles = 0;
        for (const std::string& path : tty_open_files(pid)) {
            EXPECT_EQ(path.find(work + "/disc"), std::string::npos) << path << " is held open during the wait";
            consoles += path == "/dev/tty";
        }
        EXPECT_EQ(consoles, 1) << "/dev/tty is opened once";
    }

    void run_without_terminal(const DialogueCase& c)
    {
        write_text(work + "/answers", "y\n\n\n");
        Outcome run = run_tool({"/bin/sh", "-c", "exec \"$0\" disc out/disk < answers", SPANFETCH_BINARY}, work, 30);
        EXPECT_EQ(run.exit_code, c.exit_code);
        EXPECT_EQ(run.output, *c.shown);
        EXPECT_EQ(run.errors, "");
    }

    void run_on_terminal(const DialogueCase& c)
    {
        TtyOptions options;
        options.echo_off = c.terminal == Terminal::ECHO_OFF || c.terminal == Terminal::JOB_CONTROL_SHELL;
        options.enter_sends_cr = c.terminal == Terminal::ENTER_SENDS_CR;
        options.stdin_from_null = c.terminal == Terminal::STDIN_FROM_NULL;
        options.ignore_hangup = c.terminal == Terminal::HANGUP_IGNORED;
        if (c.terminal == Terminal::ENTER_TYPED_BEFORE)
            options.typed_before = "\r";
        std::vector<std::string> argv = {SPANFETCH_BINARY, "disc", "out/disk"};
        if (c.terminal == Terminal::JOB_CONTROL_SHELL)
            argv = {"/bin/bash", "--norc", "--noprofile", "-c",
                    "set -m; \"$0\" disc out/disk; read -r _; fg >/dev/null", SPANFETCH_BINARY};

        TtyRun session;
        ASSERT_TRUE(tty_start(session, argv, work, options));
        if (c.terminal == Terminal::JOB_CONTROL_SHELL) {
            ASSERT_TRUE(tty_watch_child(session)) << "the shell started no tool";
        }
        size_t last_typed = options.typed_before.size();
        bool hung_up = false;
        for (const Step& step : c.steps) {
            bool waiting = tty_wait_for_read(session, step.waits, static_cast<int>(last_typed));
            EXPECT_TRUE(waiting) << "no " << (step.waits == ReadKind::LINE ? "line" : "key")
                                 << " read before typing " << testing::PrintToString(step.keys)
                                 << "; shown so far: " << testing::PrintToString(session.shown);
            if (!waiting)
                break;
            if (step.waits == ReadKind::KEY)
                expect_only_console_open(session.reader);
            if (step.insert_second)
                insert_second_disc();
            if (step.hang_up) {
                tty_hang_up(session);
                hung_up = true;
                break;
            }
            if (step.signal != 0) {
                ASSERT_EQ(kill(session.reader, step.signal), 0);
            } else {
                ASSERT_TRUE(tty_type(session, step.keys));
            }
            last_typed = step.keys.size();
            if (step.stops) {
                ASSERT_TRUE(tty_wait_stopped(session)) << "not stopped";
                if (step.signal == SIGSTOP) {
                    ASSERT_TRUE(tty_set_start_mode(session)) << "it cannot give the terminal back: the shell takes it";
                } else {
                    EXPECT_TRUE(tty_in_start_mode(session)) << "the terminal is not given back while stopped";
                }
                ASSERT_TRUE(tty_type(session, "\r"));  // the shell's read, then fg
                last_typed = 0;
            }
        }
        EXPECT_EQ(tty_finish(session), c.exit_code);
        if (c.shown) {
            EXPECT_EQ(session.shown, *c.shown);
        }
        if (!hung_up) {
            EXPECT_TRUE(tty_mode_restored(session)) << "the terminal is left in the mode it had";
        }
    }

    void run(const DialogueCase& c)
    {
        prepare(c.disc, c.dest_exists);
        if (c.terminal == Terminal::NONE)
            run_without_terminal(c);
        else
            run_on_terminal(c);
        expect_destination(c.dest, c.dest_exists);
    }

    const std::string OLD_PART0 = std::string(3000, 'k') + "kept";
    const std::string OLD_PART1 = "kept too";
    ImageSet set;
    std::string work;
};

// shown: the question, the terminal's echo and the tool's backspaces, the
// tool's "\n" after the answer, then the run.
DialogueCase yes(const char* name, std::vector<Step> steps, const std::string& echo,
                 Terminal terminal = Terminal::COOKED)
{
    return {name, terminal, Disc::BOTH_PARTS, true, steps, 0, QUESTION + echo + "\n" + CONVERTED, Dest::CONVERTED};
}

DialogueCase no(const char* name, std::vector<Step> steps, const std::string& echo,
                Terminal terminal = Terminal::COOKED)
{
    return {name, terminal, Disc::BOTH_PARTS, true, steps, 1, QUESTION + echo + "\n", Dest::UNTOUCHED};
}

// The question is read a line at a time, two characters of it taken.
const DialogueCase QUESTION_CASES[] = {
    yes("y", lines({"y\r"}), "y\n"),
    yes("Y", lines({"Y\r"}), "Y\n"),
    yes("yes", lines({"yes\r"}), "yes\n"),
    yes("Yo", lines({"Yo\r"}), "Yo\n"),
    no("n", lines({"n\r"}), "n\n"),
    no("nope", lines({"nope\r"}), "nope\n"),
    no("Enter alone reads again", lines({"\r", "n\r"}), "\nn\n"),
    no("x gets one backspace", lines({"x\r", "n\r"}), "x\n\bn\n"),
    no("xyz gets two backspaces", lines({"xyz\r", "n\r"}), "xyz\n\b\bn\n"),
    yes("a line ending in Esc reads again", lines({"\x1b\r", "y\r"}), "^[\ny\n"),
    no("end of input (Ctrl+D) answers no", lines({"\x04"}), ""),
    yes("answered at the terminal with stdin from /dev/null", lines({"y\r"}), "y\n", Terminal::STDIN_FROM_NULL),
    // Left by another program with Enter sending a bare CR, which would not end a line.
    no("answered at a terminal set to -icrnl", lines({"x\r", "n\r"}), "x\n\bn\n", Terminal::ENTER_SENDS_CR),
    {"hang-up ends it without an answer", Terminal::HANGUP_IGNORED, Disc::BOTH_PARTS, true,
     {hang_up(ReadKind::LINE)}, 1, QUESTION, Dest::UNTOUCHED},
    {"without a terminal it is declined", Terminal::NONE, Disc::BOTH_PARTS, true, {}, 1, QUESTION + "\n",
     Dest::UNTOUCHED},
    {"SIGTERM ends it with the terminal's mode put back", Terminal::ECHO_OFF, Disc::BOTH_PARTS, true,
     {send(ReadKind::LINE, SIGTERM)}, by_signal(SIGTERM), QUESTION, Dest::UNTOUCHED},
    {"Ctrl+Z gives the terminal back and fg takes the line mode again", Terminal::JOB_CONTROL_SHELL,
     Disc::BOTH_PARTS, true, {stop_by_key(ReadKind::LINE, "\x1a"), line("n\r")}, 1, std::nullopt, Dest::UNTOUCHED},
};

// The disc wait takes single keys: only Enter (looks again) and a lone Esc
// (abandons) end it. Keys typed in one write arrive together.
const DialogueCase DISC_WAIT_CASES[] = {
    {"ignored keys are not echoed, Enter asks again, Esc abandons", Terminal::COOKED, Disc::EMPTY, false,
     {key("a"), key("Q"), key(" "), key("\x03"), key("\x1a"), key("\x1b[A"), key("\x1bOP"), key("\x1b[15~"),
      key("\x1bx"), key("\r"), key("\x1b")},
     3, "\n" + PROMPT_PART0 + "\n" + PROMPT_PART0 + "\n" + UNABLE_PART0, Dest::UNTOUCHED},
    {"the next disc is inserted and Enter pressed", Terminal::COOKED, Disc::PART0_ONLY, false,
     {key("\r"), key("z"), key_on_second_disc("\r")},
     0, COPY_PART0 + "\n" + PROMPT_PART1 + "\n" + PROMPT_PART1 + COPY_PART1 + DONE, Dest::CONVERTED},
    {"ignored keys at part 1, then Esc keeps part 0 written", Terminal::COOKED, Disc::PART0_ONLY, false,
     {key("a"), key("Q"), key(" "), key("\x1b[A"), key("\x1bOB"), key("\x1b[15~"), key("\x03"), key("\x04"),
      key("\x1a"), key("\x13"), key("\x1b")},
     3, COPY_PART0 + "\n" + PROMPT_PART1 + "\n" + UNABLE_PART1, Dest::PART0_COPIED},
    {"an Enter typed ahead with the answer ends the wait at once", Terminal::COOKED, Disc::EMPTY, true,
     {line("y\r\r"), key("\x1b")},
     3, QUESTION + "y\n\n" + "\n" + "\n" + PROMPT_PART0 + "\n" + PROMPT_PART0 + "\n" + UNABLE_PART0,
     Dest::UNTOUCHED},
    {"an Enter typed ahead with the answer survives the copy of part 0", Terminal::COOKED, Disc::PART0_ONLY, true,
     {line("y\r\r"), key_on_second_disc("\r")},
     0, QUESTION + "y\n\n" + "\n" + COPY_PART0 + "\n" + PROMPT_PART1 + "\n" + PROMPT_PART1 + COPY_PART1 + DONE,
     Dest::CONVERTED},
    {"the rest of a long answer stays with the line reads, the wait takes a real key", Terminal::COOKED, Disc::EMPTY, true,
     {line("yes\r"), key("\x1b")},
     3, QUESTION + "yes\n" + "\n" + "\n" + PROMPT_PART0 + "\n" + UNABLE_PART0,
     Dest::UNTOUCHED},
    {"an Enter typed before the start ends the first wait", Terminal::ENTER_TYPED_BEFORE, Disc::PART0_ONLY, false,
     {key_on_second_disc("\r")},
     0, "\n" + COPY_PART0 + "\n" + PROMPT_PART1 + "\n" + PROMPT_PART1 + COPY_PART1 + DONE, Dest::CONVERTED},
    {"a cursor key and an Enter arriving together are two keys", Terminal::COOKED, Disc::EMPTY, false,
     {key("\x1b[B\r"), key("\x1b")},
     3, "\n" + PROMPT_PART0 + "\n" + PROMPT_PART0 + "\n" + UNABLE_PART0, Dest::UNTOUCHED},
    {"Enter right after a cursor key", Terminal::COOKED, Disc::PART0_ONLY, false, {key_on_second_disc("\x1b[A\r")},
     0, COPY_PART0 + "\n" + PROMPT_PART1 + COPY_PART1 + DONE, Dest::CONVERTED},
    {"Esc right after a cursor key with parameters", Terminal::COOKED, Disc::PART0_ONLY, false,
     {key_on_second_disc("\x1b[1;5C\x1b")},
     3, COPY_PART0 + "\n" + PROMPT_PART1 + "\n" + UNABLE_PART1, Dest::PART0_COPIED},
    {"Enter right after an Esc O cursor key", Terminal::COOKED, Disc::PART0_ONLY, false,
     {key_on_second_disc("\x1bOA\r")},
     0, COPY_PART0 + "\n" + PROMPT_PART1 + COPY_PART1 + DONE, Dest::CONVERTED},
    {"hang-up abandons it", Terminal::HANGUP_IGNORED, Disc::EMPTY, false, {hang_up(ReadKind::KEY)},
     3, "\n" + PROMPT_PART0, Dest::UNTOUCHED},
    {"hang-up at part 1 keeps part 0 written", Terminal::HANGUP_IGNORED, Disc::PART0_ONLY, false,
     {hang_up(ReadKind::KEY)}, 3, COPY_PART0 + "\n" + PROMPT_PART1, Dest::PART0_COPIED},
    {"without a terminal it is abandoned", Terminal::NONE, Disc::EMPTY, false, {},
     3, "\n" + PROMPT_PART0 + "\n" + UNABLE_PART0, Dest::UNTOUCHED},
    {"SIGTERM ends it with the terminal's mode put back", Terminal::ECHO_OFF, Disc::PART0_ONLY, false,
     {send(ReadKind::KEY, SIGTERM)}, by_signal(SIGTERM), COPY_PART0 + "\n" + PROMPT_PART1, Dest::PART0_COPIED},
    {"SIGHUP sent by kill ends it with the terminal's mode put back", Terminal::ECHO_OFF, Disc::PART0_ONLY, false,
     {send(ReadKind::KEY, SIGHUP)}, by_signal(SIGHUP), COPY_PART0 + "\n" + PROMPT_PART1, Dest::PART0_COPIED},
    {"a stop sent by kill gives the terminal back and fg takes the key mode again", Terminal::JOB_CONTROL_SHELL,
     Disc::PART0_ONLY, false, {stop_by(ReadKind::KEY, SIGTSTP), key("\x1b")}, 3, std::nullopt, Dest::PART0_COPIED},
    {"after SIGSTOP and the shell setting its mode, fg takes the key mode again", Terminal::JOB_CONTROL_SHELL,
     Disc::PART0_ONLY, false, {stop_by(ReadKind::KEY, SIGSTOP), key("\x1b")}, 3, std::nullopt, Dest::PART0_COPIED},
    // The answer, a key, then Esc: each read's mode is set and put back.
    {"after the question in a cooked terminal", Terminal::COOKED, Disc::PART0_ONLY, true,
     {line("y\r"), key("k"), key("\x1b")},
     3, QUESTION + "y\n" + "\n" + COPY_PART0 + "\n" + PROMPT_PART1 + "\n" + UNABLE_PART1, Dest::PART0_COPIED},
    {"after the question in a terminal set to -echo", Terminal::ECHO_OFF, Disc::PART0_ONLY, true,
     {line("y\r"), key("k"), key("\x1b")},
     3, QUESTION + "y\n" + "\n" + COPY_PART0 + "\n" + PROMPT_PART1 + "\n" + UNABLE_PART1, Dest::PART0_COPIED},
    {"after the question in a terminal set to -icrnl", Terminal::ENTER_SENDS_CR, Disc::PART0_ONLY, true,
     {line("y\r"), key("k"), key("\x1b")},
     3, QUESTION + "y\n" + "\n" + COPY_PART0 + "\n" + PROMPT_PART1 + "\n" + UNABLE_PART1, Dest::PART0_COPIED},
};

TEST_P(Dialogue, EndsAsTyped)
{
    run(GetParam());
}

INSTANTIATE_TEST_SUITE_P(OverwriteQuestion, Dialogue, ::testing::ValuesIn(QUESTION_CASES), case_name);
INSTANTIATE_TEST_SUITE_P(DiscWait, Dialogue, ::testing::ValuesIn(DISC_WAIT_CASES), case_name);

} // namespace
