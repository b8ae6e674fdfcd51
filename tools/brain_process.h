// A built brain driven from outside as a child process, the way a manager
// drives it: one line written, one answer read (skipping the MESSAGE and DEBUG
// lines a brain may print while it thinks), every wait bounded so that a brain
// that hangs fails the caller instead of stalling it. Used by the
// black-box protocol tests, the manager transcript runner and the
// time-discipline bench. POSIX only: on Linux the Windows build is driven
// through wine as the command.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace kelmo {

// Milliseconds on the monotonic clock, for deadlines and for timing replies.
double nowMs();

// A MESSAGE or DEBUG line: what a brain tells the manager while it thinks,
// never an answer to a command.
bool isInformational(const std::string& line);

// A line beginning with ERROR: where OK to START is due, the brain refusing the game.
bool isRefusal(const std::string& line);

class BrainProcess {
public:
    enum class ReadResult { Line, Timeout, Closed };

    // Starts command[0] (looked up on PATH unless it holds a '/'; a relative
    // path is taken from the caller's directory) with the rest as arguments, in
    // workDir when it is not empty. started() is false when the program could
    // not be run at all.
    explicit BrainProcess(const std::vector<std::string>& command, const std::string& workDir = "");
    ~BrainProcess();
    BrainProcess(const BrainProcess&) = delete;
    BrainProcess& operator=(const BrainProcess&) = delete;

    bool started() const { return pid > 0; }
    // The child's process id (for reading its /proc figures), -1 when it did not start.
    pid_t processId() const { return pid; }

    // Writes text followed by eol; false once the brain has closed its input.
    bool send(const std::string& text, const std::string& eol = "\n");

    // Reads one line within timeoutMs. The line feed and one carriage return
    // before it are removed; sawCarriageReturn() remembers that one was there.
    // A last line without its line feed still counts as a line.
    ReadResult readLine(std::string& line, int timeoutMs);
    bool sawCarriageReturn() const { return carriageReturn; }

    // Reads the answer to the last command as a manager does: informational
    // lines are passed over, and the one deadline of timeoutMs covers them and
    // the answer alike, so a brain that only talks still runs out of time.
    // lastInformation() is the last line passed over by this call, empty when
    // there was none.
    ReadResult readAnswer(std::string& line, int timeoutMs);
    const std::string& lastInformation() const { return information; }

    // Waits for the process to end; true when it ended within timeoutMs, with
    // its exit status in exitCode (-1 for a signal). With closeInput false the
    // brain's input stays open, so only the brain itself can decide to leave.
    bool waitExit(int timeoutMs, int& exitCode, bool closeInput = true);

    // Closes the brain's input, takes in what it still writes (so that it never
    // blocks on a full pipe) and waits for it to end, killing it at the
    // deadline. The exit code, or -1 when it was killed or ended by a signal;
    // after the process has ended, the code it ended with.
    int finish(int timeoutMs);

private:
    ReadResult readLineUntil(std::string& line, double deadline);

    pid_t pid = -1;
    int toChild = -1;
    int fromChild = -1;
    std::string pending;  // bytes read past the last returned line
    bool closed = false;
    bool carriageReturn = false;
    std::string information;  // the last informational line readAnswer skipped
    bool reaped = false;
    int exitStatus = -1;  // once reaped
};

// A whole run on one input: the input is fed on standard input (then end of
// input) while the output is collected, so that a brain answering a long input
// never blocks on us.
struct BrainRun {
    bool finished = false;  // false: still running at the deadline, and killed
    int exitCode = -1;      // -1 unless it exited normally
    std::string output;
};
BrainRun runBrain(const std::vector<std::string>& command, const std::string& workDir, const std::string& input,
                  int timeoutMs);

// Splits output into lines at line feeds, keeping any carriage returns. Text
// after the last line feed becomes a last line; endsWithLineFeed is false then.
std::vector<std::string> outputLines(const std::string& output, bool& endsWithLineFeed);

} // namespace kelmo
