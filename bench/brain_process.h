// A brain started as a child process and spoken to the way a manager does:
// one line written, one reply line read, with a timeout so that a brain that
// hangs fails the caller instead of blocking it. Shared by the manager
// transcript runner and the time-discipline bench. POSIX only: on Linux the
// Windows build is driven through wine as the command.
#pragma once

#include <string>
#include <vector>
#include <sys/types.h>

namespace kelmo {

class BrainProcess {
public:
    enum class ReadResult { Line, Timeout, Closed };

    // Starts command[0] (looked up on PATH) with the rest as arguments, in
    // workDir when it is not empty. started() tells whether that worked.
    explicit BrainProcess(const std::vector<std::string>& command, const std::string& workDir = "");
    ~BrainProcess();
    BrainProcess(const BrainProcess&) = delete;
    BrainProcess& operator=(const BrainProcess&) = delete;

    bool started() const { return pid > 0; }

    // Writes text followed by eol; false once the brain has closed its input.
    bool send(const std::string& text, const std::string& eol);

    // Reads one line within timeoutMs. The line feed and one carriage return
    // before it are removed; sawCarriageReturn() remembers that one was there.
    ReadResult readLine(std::string& line, int timeoutMs);
    bool sawCarriageReturn() const { return carriageReturn; }

    // Waits for the process to end; true when it ended within timeoutMs, with
    // its exit status in exitCode (-1 for a signal). With closeInput false the
    // brain's input stays open, so only the brain itself can decide to leave.
    bool waitExit(int timeoutMs, int& exitCode, bool closeInput = true);

private:
    pid_t pid = -1;
    int toChild = -1;
    int fromChild = -1;
    std::string pending;  // bytes read past the last returned line
    bool closed = false;
    bool carriageReturn = false;
    bool reaped = false;
};

// Milliseconds on the monotonic clock, for measuring replies.
double nowMs();

} // namespace kelmo
