// Runs a built binary with a pseudo-terminal as its controlling terminal:
// keys are written to it, its output is read back with timeouts.
#pragma once
#include <sys/types.h>
#include <termios.h>

#include <string>
#include <vector>

struct PtySession {
    pid_t pid = -1;
    int master = -1;
    std::string raw_output;  // everything the terminal showed, as written
    int exit_code = -1;      // -1 until it exits normally
    int signal = 0;          // the signal that ended it, if one did
    bool ended = false;
};

struct PtyOptions {
    const termios* mode = nullptr;  // the terminal's mode at start; the pty default when null
    std::string typed_before;       // keys typed before the program starts
    bool ignore_hangup = false;     // start it with SIGHUP ignored, as under nohup
};

// Starts argv[0] in directory cwd in a new session whose controlling terminal
// is a fresh pty; standard input, output and error all go to it.
bool pty_start(PtySession& session, const std::vector<std::string>& argv, const std::string& cwd,
               const PtyOptions& options = PtyOptions());

void pty_send(PtySession& session, const std::string& keys);

// The output with the terminal's "\r\n" (from ONLCR) turned back into "\n".
std::string pty_output(const PtySession& session);

// Reads until the output holds text at least `times` times; false on timeout.
bool pty_wait_for(PtySession& session, const std::string& text, int times = 1, int timeout_ms = 10000);

// Reads for quiet_ms; true when nothing new appeared and it is still running.
bool pty_stays_quiet(PtySession& session, int quiet_ms = 300);

// Reads until the terminal's mode has every flag of lflag_on and iflag_on and
// none of lflag_off: the program has set the mode for its read, and keys sent
// now are taken under it. False on timeout.
bool pty_wait_for_mode(PtySession& session, tcflag_t lflag_on, tcflag_t lflag_off, tcflag_t iflag_on,
                       int timeout_ms = 10000);

// Reads until it ends; kills it after timeout_ms. Returns the exit code, -1 when
// it was killed or ended by a signal.
int pty_finish(PtySession& session, int timeout_ms = 20000);

// Closes the terminal's master side: the program's terminal hangs up.
void pty_hang_up(PtySession& session);

// Kills it if still running and releases the pty.
void pty_close(PtySession& session);

// Paths that its open descriptors lead to, from /proc.
std::vector<std::string> pty_open_files(const PtySession& session);
