// The overwrite question and the disc wait on a real terminal: the built tool
// on a pseudo-terminal that is its controlling terminal, typed at key by key,
// and without any terminal at all.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "tests/e2e/tty_driver.h"
#include "tests/e2e/run_tool.h"
#include "tools/image_builder.h"

namespace {

const std::string QUESTION = "Warning: The target image already exists!\nDo you want to overwrite it (Y/N)? ";
const std::string PROMPT_PART0 = "Please insert disc for file disc/KORVADIS.IMG and press enter.";
const std::string PROMPT_PART1 = "Please insert disc for file disc/KORVADIS.001 and press enter.";
const std::string COPY_PART0 = "\nCopying file disc/KORVADIS.IMG to out/disk.IMG...";
const std::string COPY_PART1 = "\nCopying file disc/KORVADIS.001 to out/disk.001...";
const std::string DONE = "\nCompleted Successfuly\n";
const std::string CONVERTED = "\n" + COPY_PART0 + "\n" + COPY_PART1 + DONE;

constexpr uint64_t PART1_CUT = 100 * 1024;

// What "disc" (a symlink, as a drive's mount point would be) holds at the start.
enum class Disc { BOTH_PARTS, PART0_ONLY, EMPTY };

struct Step {
    ReadKind waits;            // the read the tool must be blocked in before typing
    std::string keys;          // typed in one write
    bool insert_second = false; // re-point "disc" to the disc with part 1 first
};

struct DialogueCase {
    const char* name;
    bool dest_exists;
    Disc disc;
    std::vector<Step> steps;
    int exit_code;
    std::string shown;  // the whole terminal output, "\r\n" as "\n"
    bool converted;     // destination parts 0 and 1 hold the converted image
    bool stdin_from_null = false;
    bool enter_sends_cr = false;
};

class Dialogue : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string reason;
        if (!tty_can_watch_reads(reason))
            GTEST_SKIP() << "cannot tell when the tool waits for input: " << reason;
        fresh();
    }
    void TearDown() override
    {
        if (!work.empty())
            remove_tree(work);
    }

    // A new scratch tree for each case: "disc" -> disc1 (empty), the whole set in disc2.
    void fresh()
    {
        TearDown();
        work = make_temp_dir(TEST_SCRATCH_DIR);
        ASSERT_FALSE(work.empty());
        ASSERT_EQ(mkdir((work + "/out").c_str(), 0755), 0);
        ASSERT_EQ(mkdir((work + "/disc1").c_str(), 0755), 0);
        ASSERT_EQ(mkdir((work + "/disc2").c_str(), 0755), 0);
        ASSERT_EQ(symlink("disc1", (work + "/disc").c_str()), 0);
        // Two parts, the end marker inside part 1.
        set.part_sizes = {200 * 1024, 150 * 1024};
        set.markers = {{1, PART1_CUT}};
        ASSERT_TRUE(write_image_set(set, work + "/disc2"));
    }

    void prepare(Disc disc, bool dest_exists)
    {
        if (disc != Disc::EMPTY) {
            ASSERT_EQ(rename((work + "/disc2/KORVADIS.IMG").c_str(), (work + "/disc1/KORVADIS.IMG").c_str()), 0);
        }
        if (disc == Disc::BOTH_PARTS) {
            ASSERT_EQ(rename((work + "/disc2/KORVADIS.001").c_str(), (work + "/disc1/KORVADIS.001").c_str()), 0);
        }
        if (dest_exists) {
            write_text(work + "/out/disk.IMG", std::string(3000, 'k') + "kept");
            write_text(work + "/out/disk.001", "kept too");
        }
    }

    void insert_second_disc()
    {
        std::string link = work + "/disc";
        ASSERT_EQ(unlink(link.c_str()), 0);
        ASSERT_EQ(symlink("disc2", link.c_str()), 0);
    }

    static void write_text(const std::string& path, const std::string& text)
    {
        FILE* file = fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        fwrite(text.data(), 1, text.size(), file);
        fclose(file);
    }

    std::string disc_file(uint32_t part)
    {
        std::string name = part_file_name(set.base_name, part);
        return work + (file_exists(work + "/disc1/" + name) ? "/disc1/" : "/disc2/") + name;
    }

    void expect_converted()
    {
        std::vector<unsigned char> part0 = read_file(disc_file(0));
        std::vector<unsigned char> header = marker_header(set, 1);
        memcpy(header.data(), "IMG", 3);
        std::copy(header.begin(), header.end(), part0.begin());
        std::vector<unsigned char> part1 = read_file(disc_file(1));
        part1.resize(PART1_CUT);
        EXPECT_TRUE(read_file(work + "/out/disk.IMG") == part0) << "destination part 0";
        EXPECT_TRUE(read_file(work + "/out/disk.001") == part1) << "destination part 1";
    }

    void expect_destination_kept(bool dest_existed)
    {
        if (dest_existed) {
            std::vector<unsigned char> part0 = read_file(work + "/out/disk.IMG");
            std::vector<unsigned char> part1 = read_file(work + "/out/disk.001");
            EXPECT_TRUE(std::string(part0.begin(), part0.end()) == std::string(3000, 'k') + "kept")
                << "destination part 0 changed, now " << part0.size() << " bytes";
            EXPECT_TRUE(std::string(part1.begin(), part1.end()) == "kept too")
                << "destination part 1 changed, now " << part1.size() << " bytes";
        } else {
            EXPECT_FALSE(file_exists(work + "/out/disk.IMG"));
        }
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

    void run(const DialogueCase& c)
    {
        SCOPED_TRACE(c.name);
        fresh();
        prepare(c.disc, c.dest_exists);
        TtyRun session;
        TtyOptions options;
        options.stdin_from_null = c.stdin_from_null;
        options.enter_sends_cr = c.enter_sends_cr;
        ASSERT_TRUE(tty_start(session, {SPANFETCH_BINARY, "disc", "out/disk"}, work, options));
        size_t last_typed = 0;
        for (const Step& step : c.steps) {
            bool waiting = tty_wait_for_read(session, step.waits, static_cast<int>(last_typed));
            EXPECT_TRUE(waiting) << "no " << (step.waits == ReadKind::LINE ? "line" : "key")
                                 << " read before typing " << testing::PrintToString(step.keys)
                                 << "; shown so far: " << testing::PrintToString(session.shown);
            if (!waiting)
                break;
            if (step.waits == ReadKind::KEY)
                expect_only_console_open(session.pid);
            if (step.insert_second)
                insert_second_disc();
            ASSERT_TRUE(tty_type(session, step.keys));
            last_typed = step.keys.size();
        }
        int exit_code = tty_finish(session);
        EXPECT_EQ(exit_code, c.exit_code);
        EXPECT_EQ(session.shown, c.shown);
        EXPECT_TRUE(tty_mode_restored(session)) << "the terminal is left in the mode it had";
        if (c.converted) {
            expect_converted();
        } else if (c.exit_code == 3 && c.disc == Disc::PART0_ONLY) {
            // Parts already written stay on disk; only the header rewrite is lost.
            std::vector<unsigned char> part0 = read_file(disc_file(0));
            EXPECT_TRUE(read_file(work + "/out/disk.IMG") == part0) << "destination part 0 as copied";
        } else {
            expect_destination_kept(c.dest_exists);
        }
    }

    ImageSet set;
    std::string work;
};

std::vector<Step> lines(std::initializer_list<const char*> typed)
{
    std::vector<Step> steps;
    for (const char* keys : typed)
        steps.push_back({ReadKind::LINE, keys});
    return steps;
}

TEST_F(Dialogue, OverwriteQuestionReadsLinesTwoCharactersAtATime)
{
    // shown: the question, the terminal's echo and the tool's backspaces, "\n", then the run.
    auto yes = [](const char* name, std::vector<Step> steps, const std::string& echo) {
        return DialogueCase{name, true, Disc::BOTH_PARTS, steps, 0, QUESTION + echo + "\n" + CONVERTED, true};
    };
    auto no = [](const char* name, std::vector<Step> steps, const std::string& echo) {
        return DialogueCase{name, true, Disc::BOTH_PARTS, steps, 1, QUESTION + echo + "\n", false};
    };
    DialogueCase cases[] = {
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
    };
    for (const DialogueCase& c : cases)
        run(c);
}

TEST_F(Dialogue, QuestionIsAnsweredAtTheTerminalWhateverItsSettings)
{
    DialogueCase from_null{"stdin from /dev/null", true, Disc::BOTH_PARTS, lines({"y\r"}), 0,
                           QUESTION + "y\n\n" + CONVERTED, true};
    from_null.stdin_from_null = true;
    run(from_null);
    // Left by another program with Enter sending a bare CR, which would not end a line.
    DialogueCase bare_cr{"stty -icrnl", true, Disc::BOTH_PARTS, lines({"x\r", "n\r"}), 1,
                         QUESTION + "x\n\bn\n\n", false};
    bare_cr.enter_sends_cr = true;
    run(bare_cr);
}

TEST_F(Dialogue, DiscWaitEndsOnlyOnEnterOrALoneEsc)
{
    const std::string unable0 = "\nUnable to open disc/KORVADIS.IMG\n";
    auto key = [](const char* keys, bool insert_second = false) { return Step{ReadKind::KEY, keys, insert_second}; };
    DialogueCase cases[] = {
        {"ignored keys are not echoed, Enter asks again, Esc abandons", false, Disc::EMPTY,
         {key("a"), key("Q"), key(" "), key("\x03"), key("\x1a"), key("\x1b[A"), key("\x1bOP"), key("\x1b[15~"),
          key("\x1bx"), key("\r"), key("\x1b")},
         3, "\n" + PROMPT_PART0 + "\n" + PROMPT_PART0 + "\n" + unable0, false},
        {"the next disc is inserted and Enter pressed", false, Disc::PART0_ONLY,
         {key("\r"), key("z"), key("\r", true)},
         0, "\n" + COPY_PART0 + "\n" + PROMPT_PART1 + "\n" + PROMPT_PART1 + "\n" + COPY_PART1 + DONE, true},
        {"Esc at part 1 keeps part 0 written", false, Disc::PART0_ONLY, {key("\x1b")},
         3, "\n" + COPY_PART0 + "\n" + PROMPT_PART1 + "\n\nUnable to open disc/KORVADIS.001\n", false},
        {"an Enter typed ahead with the answer ends the wait at once", true, Disc::EMPTY,
         {{ReadKind::LINE, "y\r\r"}, key("\x1b")},
         3, QUESTION + "y\n\n" + "\n" + "\n" + PROMPT_PART0 + "\n" + PROMPT_PART0 + "\n" + unable0, false},
        {"a cursor key and an Enter arriving together are two keys", false, Disc::EMPTY,
         {key("\x1b[B\r"), key("\x1b")},
         3, "\n" + PROMPT_PART0 + "\n" + PROMPT_PART0 + "\n" + unable0, false},
        {"the rest of a long answer stays with the line reads, the wait takes a real key", true, Disc::EMPTY,
         {{ReadKind::LINE, "yes\r"}, key("\x1b")},
         3, QUESTION + "yes\n" + "\n" + "\n" + PROMPT_PART0 + "\n" + unable0, false},
    };
    for (const DialogueCase& c : cases)
        run(c);
}

TEST_F(Dialogue, HangUpEndsEitherDialogueWithoutAnAnswer)
{
    struct Case { const char* name; bool dest_exists; Disc disc; ReadKind waits; int exit_code; } cases[] = {
        {"at the question", true, Disc::BOTH_PARTS, ReadKind::LINE, 1},
        {"at the disc wait", false, Disc::EMPTY, ReadKind::KEY, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        prepare(c.disc, c.dest_exists);
        TtyRun session;
        TtyOptions options;
        options.ignore_hangup = true;  // so the reads, not the signal, meet the hang-up
        ASSERT_TRUE(tty_start(session, {SPANFETCH_BINARY, "disc", "out/disk"}, work, options));
        ASSERT_TRUE(tty_wait_for_read(session, c.waits));
        tty_hang_up(session);
        EXPECT_EQ(tty_finish(session), c.exit_code);
        expect_destination_kept(c.dest_exists);
    }
}

TEST_F(Dialogue, WithoutAConsoleTheQuestionIsDeclinedAndTheWaitAbandoned)
{
    struct Case { const char* name; bool dest_exists; Disc disc; int exit_code; std::string output; } cases[] = {
        {"question", true, Disc::BOTH_PARTS, 1, QUESTION + "\n"},
        {"disc wait", false, Disc::EMPTY, 3, "\n" + PROMPT_PART0 + "\n\nUnable to open disc/KORVADIS.IMG\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        prepare(c.disc, c.dest_exists);
        // A new session has no controlling terminal; answers on standard input are not taken.
        write_text(work + "/answers", "y\n\n\n");
        Outcome run = run_tool({"/bin/sh", "-c", "exec \"$0\" disc out/disk < answers", SPANFETCH_BINARY}, work, 30);
        EXPECT_EQ(run.exit_code, c.exit_code);
        EXPECT_EQ(run.output, c.output);
        EXPECT_EQ(run.errors, "");
        expect_destination_kept(c.dest_exists);
    }
}

} // namespace
