// Runs the built brain executable as a child process in a chosen working
// directory: either on a whole input at once, or interactively line by line.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace kelmo::test {

struct BrainRun {
    bool finished = false;  // false: it was still running at the deadline and was killed
    int exitCode = -1;      // -1 unless it exited normally
    std::string output;
};

// Feeds the input on standard input (then end of input) and collects standard output.
BrainRun runBrain(const std::string& executable, const std::string& workDir, const std::string& input,
                  int deadlineSeconds = 120);

// Splits output into lines; the text after the last line feed, if any, becomes a last line.
std::vector<std::string> outputLines(const std::string& output, bool& endsWithLineFeed);

// A brain the test talks to one line at a time, as a manager does.
class BrainProcess {
public:
    BrainProcess(const std::string& executable, const std::string& workDir);
    ~BrainProcess();
    BrainProcess(const BrainProcess&) = delete;
    BrainProcess& operator=(const BrainProcess&) = delete;

    bool started() const { return pid > 0; }
    bool send(const std::string& line);  // writes the line and a line feed
    // Waits up to the deadline for one reply line; false on timeout or end of output.
    bool readLine(std::string& line, int deadlineSeconds = 60);
    // Closes its input and waits for the exit code (-1 if it had to be killed).
    int finish(int deadlineSeconds = 60);

private:
    pid_t pid = -1;
    int toChild = -1;
    int fromChild = -1;
    std::string buffered;
};

} // namespace kelmo::test
