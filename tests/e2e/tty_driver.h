// Runs a built binary on a pseudo-terminal that is its controlling terminal,
// types at it as a person would and collects what the terminal shows. It types
// only once /proc shows the tool blocked reading the terminal, so no step
// depends on how long anything takes.
#pragma once
#include <sys/types.h>
#include <termios.h>

#include <string>
#include <vector>

struct TtyRun {
    pid_t pid = -1;         // the process started
    pid_t reader = -1;      // the one reading the terminal: pid, or the tool a shell started
    int master = -1;
    std::string shown;      // everything the terminal showed, "\r\n" as "\n"
    bool saw_cr = false;    // a "\r" held back until the next byte shows whether "\n" follows
    long long typed_at = 0; // bytes the reader had read when text was last typed
    termios start_mode{};   // the terminal's mode when the tool started
    termios end_mode{};     // and when it had ended (valid when end_mode_known)
    bool end_mode_known = false;
};

struct TtyOptions {
    bool stdin_from_null = false;  // standard input redirected away from the terminal
    bool ignore_hangup = false;    // SIGHUP ignored, so a hang-up reaches the reads
    bool enter_sends_cr = false;   // ICRNL off, as after "stty -icrnl": Enter arrives as "\r"
    bool echo_off = false;         // ECHO off, as after "stty -echo"
    std::string typed_before;      // keys already typed when the program starts
};

// Starts argv[0] in cwd with the terminal's default settings (echo, line
// editing, ICRNL, ONLCR) changed as options say. False when no terminal could be had.
bool tty_start(TtyRun& run, const std::vector<std::string>& argv, const std::string& cwd, TtyOptions options = {});

// For a program that is a shell: waits until it has started its first child
// and watches that child's reads from then on. False on timeout.
bool tty_watch_child(TtyRun& run, int timeout_ms = 10000);

// Types text at the terminal in one write, as a key press or a paste sends it.
bool tty_type(TtyRun& run, const std::string& text);

enum class ReadKind { LINE, KEY };

// Waits until the reader has read at least taken bytes of what was last typed
// and is blocked reading /dev/tty again under the mode that kind of read sets
// (LINE: echoed and edited by lines; KEY: key by key, unechoed, Ctrl+C
// included; both with Enter's CR mapped to a line end), collecting output
// meanwhile, up to all it wrote before it blocked. Typing only then never
// races the tool's switch between modes.
// False on timeout or when it ended.
bool tty_wait_for_read(TtyRun& run, ReadKind kind, int taken = 0, int timeout_ms = 10000);

// Waits until the reader is stopped (by a stop signal or Ctrl+Z). False on timeout.
bool tty_wait_stopped(TtyRun& run, int timeout_ms = 10000);

// Whether the terminal is in its start mode now, and setting it back to that
// mode (as a shell does when a job stops).
bool tty_in_start_mode(const TtyRun& run);
bool tty_set_start_mode(TtyRun& run);

// Takes what output is already there, then ends the terminal's side (a hang-up for the tool).
void tty_hang_up(TtyRun& run);

// Collects the rest of the output, the terminal's mode at the end and the exit
// status: the exit code, or 128 + N when signal N ended it (as a shell reports
// it). Kills the program and returns -1 when it does not end within the timeout.
int tty_finish(TtyRun& run, int timeout_ms = 10000);

// True when the mode the tool left is the one it started with.
bool tty_mode_restored(const TtyRun& run);

// Paths of a process's open file descriptors (as /proc shows them).
std::vector<std::string> tty_open_files(pid_t pid);

// False (with why in reason) when this machine cannot show which system call
// a process is blocked in and how much it has read, which tty_wait_for_read needs.
bool tty_can_watch_reads(std::string& reason);
