// The overwrite question and the disc wait of the real binary, typed at a
// pseudo-terminal that is its controlling terminal: echo, ignored keys,
// typed-ahead input, disc changes, hang-up and the terminal's mode afterwards.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "tests/e2e/pty_session.h"
#include "tests/e2e/run_tool.h"
#include "tools/image_builder.h"

namespace {

constexpr uint64_t CHUNK = 63488;

const std::string QUESTION = "Warning: The target image already exists!\nDo you want to overwrite it (Y/N)? ";
const std::string PROMPT_PART1 = "Please insert disc for file disc/KORVADIS.001 and press enter.";
// open_source_part prints "\n" before each part's copy message or prompt.
const std::string COPY_PART0 = "\n\nCopying file disc/KORVADIS.IMG to out/disk.IMG...";
const std::string COPY_PART1 = "\n\nCopying file disc/KORVADIS.001 to out/disk.001...";
const std::string DONE = "\nCompleted Successfuly\n";

// A working directory with out/ and a symlink disc -> disc1, which a test
// re-points to disc2 to change discs.
class TerminalDialogue : public ::testing::Test {
protected:
    void SetUp() override
    {
        work = make_temp_dir(TEST_SCRATCH_DIR);
        ASSERT_FALSE(work.empty());
        for (const char* dir : {"/disc1", "/disc2"})
            ASSERT_EQ(mkdir((work + dir).c_str(), 0755), 0);
        fresh_run();
    }
    void TearDown() override
    {
        pty_close(session);
        remove_tree(work);
    }

    // Empty out/, disc on disc1, no session: for each case of a table.
    void fresh_run()
    {
        pty_close(session);
        session = PtySession();
        remove_tree(work + "/out");
        ASSERT_EQ(mkdir((work + "/out").c_str(), 0755), 0);
        unlink((work + "/disc").c_str());
        ASSERT_EQ(symlink("disc1", (work + "/disc").c_str()), 0);
    }

    void start(const PtyOptions& options = PtyOptions())
    {
        ASSERT_TRUE(pty_start(session, {SPANFETCH_BINARY, "disc", "out/disk"}, work, options));
    }

    // Part 0 on disc1; part 1, holding the end marker, on disc2.
    void write_two_discs()
    {
        set = ImageSet();
        set.part_sizes = {2 * CHUNK, CHUNK};
        set.markers = {{1, 4096}};
        ASSERT_TRUE(write_image_set(set, work + "/disc2"));
        ASSERT_EQ(rename((work + "/disc2/KORVADIS.IMG").c_str(), (work + "/disc1/KORVADIS.IMG").c_str()), 0);
    }

    // Swaps the disc the way a drive's mount point would change: in one step.
    void change_disc()
    {
        ASSERT_EQ(symlink("disc2", (work + "/disc.new").c_str()), 0);
        ASSERT_EQ(rename((work + "/disc.new").c_str(), (work + "/disc").c_str()), 0);
    }

    void write_existing_dest()
    {
        FILE* existing = fopen((work + "/out/disk.IMG").c_str(), "wb");
        ASSERT_NE(existing, nullptr);
        fputs("precious", existing);
        fclose(existing);
    }

    // The two destination parts a finished conversion of write_two_discs leaves.
    void expect_converted()
    {
        std::vector<unsigned char> part0 = read_file(work + "/disc1/KORVADIS.IMG");
        std::vector<unsigned char> part1 = read_file(work + "/disc2/KORVADIS.001");
        part1.resize(4096);
        std::vector<unsigned char> header = marker_header(set, 1);
        memcpy(header.data(), "IMG", 3);
        std::copy(header.begin(), header.end(), part0.begin());
        EXPECT_TRUE(read_file(work + "/out/disk.IMG") == part0);
        EXPECT_TRUE(read_file(work + "/out/disk.001") == part1);
    }

    // The question has been printed and its line read is under way.
    void wait_for_question()
    {
        ASSERT_TRUE(pty_wait_for(session, QUESTION)) << pty_output(session);
        ASSERT_TRUE(pty_wait_for_mode(session, ICANON | ECHO, 0, 0)) << "no line read under way";
    }

    void wait_for_read(bool at_question)
    {
        if (at_question)
            wait_for_question();
        else
            wait_for_disc_prompt();
    }

    // The disc prompt has been printed `times` times and the key read is under way.
    void wait_for_disc_prompt(int times = 1)
    {
        ASSERT_TRUE(pty_wait_for(session, PROMPT_PART1, times)) << pty_output(session);
        ASSERT_TRUE(pty_wait_for_mode(session, 0, ICANON | ECHO | ISIG, 0)) << "no key read under way";
    }

    // A fresh run of two discs, the destination already there when the case
    // is the question, and a starting mode with echo off, so that both reads'
    // own modes differ from it.
    void prepare_signal_case(bool at_question, termios& mode)
    {
        fresh_run();
        write_two_discs();
        if (at_question)
            write_existing_dest();
        PtySession probe;
        ASSERT_TRUE(pty_start(probe, {"/bin/true"}, work));
        ASSERT_EQ(tcgetattr(probe.master, &mode), 0);
        pty_close(probe);
        mode.c_lflag &= ~ECHO;
    }

    std::string work;
    ImageSet set;
    PtySession session;
};

struct Step {
    const char* keys;
    std::string shown;  // the whole output once these keys are taken, the terminal's echo included
};

struct OverwriteCase {
    const char* name;
    std::vector<Step> steps;
    int exit_code;
};

TEST_F(TerminalDialogue, OverwriteQuestionIsAnsweredAtTheTerminal)
{
    const std::string converted = "\n" + COPY_PART0 + DONE;
    const OverwriteCase cases[] = {
        {"yes", {{"y\r", QUESTION + "y\n" + converted}}, 0},
        {"no", {{"n\r", QUESTION + "n\n\n"}}, 1},
        {"empty line, then no", {{"\r", QUESTION + "\n"}, {"n\r", QUESTION + "\nn\n\n"}}, 1},
        {"other letter, then no", {{"x\r", QUESTION + "x\n\b"}, {"n\r", QUESTION + "x\n\bn\n\n"}}, 1},
        {"a word, taken by its first letter", {{"yes\r", QUESTION + "yes\n" + converted}}, 0},
        {"end of input is no", {{"\x04", QUESTION + "\n"}}, 1},
    };
    for (const OverwriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        fresh_run();
        set = ImageSet();
        set.part_sizes = {2 * CHUNK};
        set.markers = {{0, CHUNK}};
        ASSERT_TRUE(write_image_set(set, work + "/disc1"));
        write_existing_dest();
        start();
        ASSERT_TRUE(pty_wait_for(session, QUESTION)) << pty_output(session);
        for (const Step& step : c.steps) {
            pty_send(session, step.keys);
            EXPECT_TRUE(pty_wait_for(session, step.shown)) << pty_output(session);
        }
        EXPECT_EQ(pty_finish(session), c.exit_code);
        EXPECT_EQ(pty_output(session), c.steps.back().shown);
        std::vector<unsigned char> dest = read_file(work + "/out/disk.IMG");
        if (c.exit_code == 1)
            EXPECT_EQ(std::string(dest.begin(), dest.end()), "precious");
        else
            EXPECT_EQ(dest.size(), CHUNK);
    }
}

TEST_F(TerminalDialogue, DiscWaitIgnoresOtherKeysAndALoneEscAbandonsIt)
{
    write_two_discs();
    start();
    wait_for_disc_prompt();
    const std::string shown = pty_output(session);
    EXPECT_EQ(shown, COPY_PART0 + "\n" + PROMPT_PART1);
    // Letters, cursor keys in both encodings, Ctrl+C, Ctrl+D, Ctrl+Z, Ctrl+S.
    for (const char* keys : {"a", "Q", " ", "\x1b[A", "\x1bOB", "\x1b[15~", "\x03", "\x04", "\x1a", "\x13"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(keys)));
        wait_for_disc_prompt();
        pty_send(session, keys);
        EXPECT_TRUE(pty_stays_quiet(session)) << "no echo, and the wait goes on";
    }
    pty_send(session, "\x1b");
    EXPECT_EQ(pty_finish(session), 3);
    EXPECT_EQ(pty_output(session), shown + "\n\nUnable to open disc/KORVADIS.001\n");
    EXPECT_TRUE(read_file(work + "/out/disk.IMG") == read_file(work + "/disc1/KORVADIS.IMG"))
        << "part 0 stays as written";
    EXPECT_FALSE(file_exists(work + "/out/disk.001"));
}

TEST_F(TerminalDialogue, EnterRepeatsThePromptUntilTheDiscIsChanged)
{
    write_two_discs();
    start();
    wait_for_disc_prompt();
    for (const std::string& path : pty_open_files(session))
        EXPECT_EQ(path.find(work + "/disc"), std::string::npos) << "held open while waiting: " << path;
    pty_send(session, "\r");
    wait_for_disc_prompt(2);
    EXPECT_TRUE(pty_stays_quiet(session));
    change_disc();
    pty_send(session, "\r");
    EXPECT_EQ(pty_finish(session), 0);
    EXPECT_EQ(pty_output(session),
              COPY_PART0 + "\n" + PROMPT_PART1 + "\n" + PROMPT_PART1 + COPY_PART1 + DONE);
    expect_converted();
}

TEST_F(TerminalDialogue, KeysRightAfterACursorKeyAreKeysOfTheirOwn)
{
    // One write each: the sequence and the next key arrive together, as from a quick typist.
    struct Case { const char* keys; int exit_code; } cases[] = {
        {"\x1b[A\r", 0},
        {"\x1b[1;5C\x1b", 3},
        {"\x1bOA\r", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.keys)));
        fresh_run();
        write_two_discs();
        start();
        wait_for_disc_prompt();
        change_disc();
        pty_send(session, c.keys);
        EXPECT_EQ(pty_finish(session, 5000), c.exit_code) << pty_output(session);
    }
}

TEST_F(TerminalDialogue, EnterTypedAheadEndsTheNextDiscWait)
{
    struct Case { const char* name; bool dest_exists; const char* typed_before; const char* answer; } cases[] = {
        {"typed before the start", false, "\r", ""},
        {"a second line typed with the answer", true, "", "y\r\r"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh_run();
        write_two_discs();
        if (c.dest_exists)
            write_existing_dest();
        PtyOptions options;
        options.typed_before = c.typed_before;
        start(options);
        if (c.dest_exists) {
            ASSERT_TRUE(pty_wait_for(session, QUESTION)) << pty_output(session);
            pty_send(session, c.answer);
        }
        // The queued Enter ends the first wait at once; the part is still absent, so it asks again.
        EXPECT_TRUE(pty_wait_for(session, PROMPT_PART1 + "\n" + PROMPT_PART1)) << pty_output(session);
        EXPECT_TRUE(pty_stays_quiet(session));
        change_disc();
        pty_send(session, "\r");
        EXPECT_EQ(pty_finish(session), 0) << pty_output(session);
        expect_converted();
    }
}

bool same_mode(const termios& a, const termios& b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
           memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

TEST_F(TerminalDialogue, TerminalModeIsAsBeforeAfterBothDialogues)
{
    struct Case { const char* name; tcflag_t lflag_off; tcflag_t iflag_off; } cases[] = {
        {"cooked", 0, 0},
        {"echo off", ECHO, 0},
        {"carriage return not mapped to line feed", 0, ICRNL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh_run();
        write_two_discs();
        write_existing_dest();
        termios mode;
        {
            // The pty's own default mode, altered as the case says.
            PtySession probe;
            ASSERT_TRUE(pty_start(probe, {"/bin/true"}, work));
            ASSERT_EQ(tcgetattr(probe.master, &mode), 0);
            pty_close(probe);
        }
        mode.c_lflag &= ~c.lflag_off;
        mode.c_iflag &= ~c.iflag_off;
        PtyOptions options;
        options.mode = &mode;
        start(options);
        termios before;
        ASSERT_EQ(tcgetattr(session.master, &before), 0);
        ASSERT_TRUE(pty_wait_for(session, QUESTION)) << pty_output(session);
        // A carriage return typed before the line read maps it would not end the line.
        ASSERT_TRUE(pty_wait_for_mode(session, ICANON | ECHO, 0, ICRNL)) << "the line read maps Enter to a line end";
        pty_send(session, "y\r");
        wait_for_disc_prompt();
        pty_send(session, "k");
        EXPECT_TRUE(pty_stays_quiet(session)) << pty_output(session);
        pty_send(session, "\x1b");
        EXPECT_EQ(pty_finish(session, 10000), 3) << pty_output(session);
        termios after;
        ASSERT_EQ(tcgetattr(session.master, &after), 0);
        EXPECT_TRUE(same_mode(before, after));
    }
}

TEST_F(TerminalDialogue, TerminalModeIsRestoredWhenASignalEndsARead)
{
    struct Case { const char* name; bool at_question; int signal; } cases[] = {
        {"terminated at the disc wait", false, SIGTERM},
        {"hung up on by kill at the disc wait", false, SIGHUP},
        {"terminated at the question", true, SIGTERM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        termios mode;
        prepare_signal_case(c.at_question, mode);
        PtyOptions options;
        options.mode = &mode;
        start(options);
        termios before;
        ASSERT_EQ(tcgetattr(session.master, &before), 0);
        wait_for_read(c.at_question);
        kill(session.pid, c.signal);
        pty_finish(session, 10000);
        EXPECT_EQ(session.signal, c.signal) << "it ends as that signal ends it";
        termios after;
        ASSERT_EQ(tcgetattr(session.master, &after), 0);
        EXPECT_TRUE(same_mode(before, after));
    }
}

// The first child of pid, from /proc; -1 when it has none yet.
pid_t first_child(pid_t pid)
{
    std::string path = "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children";
    FILE* list = fopen(path.c_str(), "r");
    if (list == nullptr)
        return -1;
    int child = -1;
    if (fscanf(list, "%d", &child) != 1)
        child = -1;
    fclose(list);
    return child;
}

// The state letter of a process ('T' when stopped), 0 when it is gone.
char process_state(pid_t pid)
{
    std::string path = "/proc/" + std::to_string(pid) + "/stat";
    FILE* stat = fopen(path.c_str(), "r");
    if (stat == nullptr)
        return 0;
    char state = 0;
    if (fscanf(stat, "%*d (%*[^)]) %c", &state) != 1)
        state = 0;
    fclose(stat);
    return state;
}

TEST_F(TerminalDialogue, StoppedReadGivesTheTerminalBackAndTakesItsModeAgainOnContinuing)
{
    enum How { CTRL_Z, STOP_SIGNAL, UNCATCHABLE_STOP };
    struct Case { const char* name; bool at_question; How how; const char* answer; int exit_code; } cases[] = {
        {"Ctrl+Z at the question", true, CTRL_Z, "n\r", 1},
        {"stopped by kill at the disc wait", false, STOP_SIGNAL, "\x1b", 3},
        {"SIGSTOP at the disc wait, the shell setting its mode meanwhile", false, UNCATCHABLE_STOP, "\x1b", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        termios mode;
        prepare_signal_case(c.at_question, mode);
        PtyOptions options;
        options.mode = &mode;
        // A shell with job control, as the user's: once the tool stops it
        // waits for a line, then brings the tool back with fg.
        ASSERT_TRUE(pty_start(session,
                              {"/bin/bash", "--norc", "--noprofile", "-c",
                               "set -m; \"$0\" disc out/disk; read -r _; fg >/dev/null; echo \"EXIT=$?\"",
                               SPANFETCH_BINARY},
                              work, options));
        termios before;
        ASSERT_EQ(tcgetattr(session.master, &before), 0);
        wait_for_read(c.at_question);
        pid_t tool = first_child(session.pid);
        ASSERT_GT(tool, 0);

        if (c.how == CTRL_Z)
            pty_send(session, "\x1a");
        else
            kill(tool, c.how == STOP_SIGNAL ? SIGTSTP : SIGSTOP);
        for (int waited = 0; process_state(tool) != 'T' && waited < 500; ++waited)
            pty_stays_quiet(session, 20);
        ASSERT_EQ(process_state(tool), 'T') << "not stopped";
        termios stopped;
        ASSERT_EQ(tcgetattr(session.master, &stopped), 0);
        if (c.how == UNCATCHABLE_STOP) {
            ASSERT_EQ(tcsetattr(session.master, TCSANOW, &before), 0);
        } else {
            EXPECT_TRUE(same_mode(before, stopped)) << "the terminal is not given back while stopped";
        }

        pty_send(session, "\r");  // the shell's read, then fg
        if (c.at_question) {
            ASSERT_TRUE(pty_wait_for_mode(session, ICANON | ECHO, 0, 0)) << "line mode not taken again";
        } else {
            ASSERT_TRUE(pty_wait_for_mode(session, 0, ICANON | ECHO | ISIG, 0)) << "key mode not taken again";
        }
        pty_send(session, c.answer);
        ASSERT_TRUE(pty_wait_for(session, "EXIT=" + std::to_string(c.exit_code))) << pty_output(session);
        pty_finish(session, 10000);
        termios after;
        ASSERT_EQ(tcgetattr(session.master, &after), 0);
        EXPECT_TRUE(same_mode(before, after));
        if (c.at_question) {
            EXPECT_TRUE(read_file(work + "/out/disk.IMG") ==
                        std::vector<unsigned char>({'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}));
        }
    }
}

TEST_F(TerminalDialogue, HangUpDuringTheDiscWaitAbandonsIt)
{
    write_two_discs();
    PtyOptions options;
    options.ignore_hangup = true;  // as under nohup: the failed read, not the signal, must end it
    start(options);
    wait_for_disc_prompt();
    pty_hang_up(session);
    EXPECT_EQ(pty_finish(session, 10000), 3) << "abandoned, neither spinning nor hanging";
    EXPECT_TRUE(file_exists(work + "/out/disk.IMG"));
    EXPECT_FALSE(file_exists(work + "/out/disk.001"));
}

} // namespace
