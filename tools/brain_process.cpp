// Child-process plumbing for driving a brain over pipes: every read goes
// through poll() with a deadline, SIGPIPE is ignored so that a brain which ends
// early (as after a fatal protocol mismatch) cannot take the driver down with
// it, and every pipe end is close-on-exec so that a second brain started
// beside the first cannot hold the first one's input open.
#include "brain_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kelmo {

double nowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

namespace {

bool firstWordIs(const std::string& line, const char* word) {
    const std::string w = word;
    return line.compare(0, w.size(), w) == 0 && (line.size() == w.size() || line[w.size()] == ' ');
}

} // namespace

bool isInformational(const std::string& line) {
    return firstWordIs(line, "MESSAGE") || firstWordIs(line, "DEBUG");
}

bool isRefusal(const std::string& line) {
    return line.rfind("ERROR", 0) == 0;
}

namespace {

struct Child {
    pid_t pid = -1;
    int toChild = -1;
    int fromChild = -1;
};

int millisecondsLeft(double deadline) {
    const double left = deadline - nowMs();
    return left <= 0 ? 0 : static_cast<int>(left) + 1;
}

void closeBoth(int fds[2]) {
    close(fds[0]);
    close(fds[1]);
}

// Starts the command with its standard input and output on new pipes. A child
// that cannot change to workDir or run the program reports errno through a
// close-on-exec pipe, which a successful exec closes without a byte: so a
// failed start is known here instead of showing up as a silent brain.
Child spawn(const std::vector<std::string>& command, const std::string& workDir) {
    Child child;
    std::signal(SIGPIPE, SIG_IGN);
    if (command.empty())
        return child;
    // Everything the child needs is prepared before fork: after it only
    // async-signal-safe calls are made.
    std::vector<std::string> words = command;
    if (words[0].find('/') != std::string::npos)
        words[0] = std::filesystem::absolute(words[0]).string();
    std::vector<char*> argv;
    for (const std::string& word : words)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    const char* dir = workDir.empty() ? nullptr : workDir.c_str();

    int in[2], out[2], status[2];
    if (pipe2(in, O_CLOEXEC) != 0)
        return child;
    if (pipe2(out, O_CLOEXEC) != 0) {
        closeBoth(in);
        return child;
    }
    if (pipe2(status, O_CLOEXEC) != 0) {
        closeBoth(in);
        closeBoth(out);
        return child;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        // dup2 leaves the new descriptors 0 and 1 open across exec; a pipe end
        // that already is one of them (the driver ran with it closed) must be
        // kept open by hand.
        if (in[0] == STDIN_FILENO)
            fcntl(STDIN_FILENO, F_SETFD, 0);
        else
            dup2(in[0], STDIN_FILENO);
        if (out[1] == STDOUT_FILENO)
            fcntl(STDOUT_FILENO, F_SETFD, 0);
        else
            dup2(out[1], STDOUT_FILENO);
        if (!dir || chdir(dir) == 0)
            execvp(argv[0], argv.data());
        const int error = errno;
        ssize_t ignored = write(status[1], &error, sizeof error);
        (void)ignored;
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(status[1]);
    int error = 0;
    ssize_t got;
    do
        got = read(status[0], &error, sizeof error);
    while (got < 0 && errno == EINTR);
    close(status[0]);
    if (pid < 0 || got > 0) {
        if (pid > 0)
            waitpid(pid, nullptr, 0);
        close(in[1]);
        close(out[0]);
        return child;
    }
    child.pid = pid;
    child.toChild = in[1];
    child.fromChild = out[0];
    return child;
}

// Waits for the child until the deadline. True when it ended, with its exit code
// in exitCode (-1 for a signal); with killAtDeadline it is killed and reaped then.
bool reap(pid_t pid, double deadline, bool killAtDeadline, int& exitCode) {
    exitCode = -1;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return true;
        }
        if (done < 0 && errno != EINTR)
            return false;
        if (nowMs() >= deadline) {
            if (killAtDeadline) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
            return false;
        }
        usleep(2000);
    }
}

// Reads what is there into text; false at end of output (or a read error).
bool readSome(int fd, std::string& text) {
    char buffer[4096];
    ssize_t n;
    do
        n = read(fd, buffer, sizeof buffer);
    while (n < 0 && errno == EINTR);
    if (n <= 0)
        return false;
    text.append(buffer, static_cast<std::size_t>(n));
    return true;
}

} // namespace

BrainProcess::BrainProcess(const std::vector<std::string>& command, const std::string& workDir) {
    const Child child = spawn(command, workDir);
    pid = child.pid;
    toChild = child.toChild;
    fromChild = child.fromChild;
}

BrainProcess::~BrainProcess() {
    // Give it a moment to leave on its own after losing its input, then insist.
    if (pid > 0 && !reaped)
        finish(5000);
    if (toChild >= 0)
        close(toChild);
    if (fromChild >= 0)
        close(fromChild);
}

bool BrainProcess::send(const std::string& text, const std::string& eol) {
    if (toChild < 0)
        return false;
    const std::string data = text + eol;
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        const ssize_t n = write(toChild, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

BrainProcess::ReadResult BrainProcess::readLine(std::string& line, int timeoutMs) {
    return readLineUntil(line, nowMs() + timeoutMs);
}

BrainProcess::ReadResult BrainProcess::readLineUntil(std::string& line, double deadline) {
    for (;;) {
        const std::size_t end = pending.find('\n');
        if (end != std::string::npos) {
            line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
                carriageReturn = true;
            }
            return ReadResult::Line;
        }
        if (closed || fromChild < 0) {
            if (pending.empty())
                return ReadResult::Closed;
            line.swap(pending);
            pending.clear();
            return ReadResult::Line;
        }
        if (nowMs() >= deadline)
            return ReadResult::Timeout;
        pollfd fd{fromChild, POLLIN, 0};
        const int ready = poll(&fd, 1, millisecondsLeft(deadline));
        if (ready <= 0)
            continue;  // interrupted or timed out: the deadline check above decides
        if (!readSome(fromChild, pending))
            closed = true;
    }
}

BrainProcess::ReadResult BrainProcess::readAnswer(std::string& line, int timeoutMs) {
    const double deadline = nowMs() + timeoutMs;
    information.clear();
    for (;;) {
        const ReadResult result = readLineUntil(line, deadline);
        if (result != ReadResult::Line) {
            line.clear();  // not the information skipped last: that is no answer
            return result;
        }
        if (!isInformational(line))
            return result;
        information = line;
    }
}

bool BrainProcess::waitExit(int timeoutMs, int& exitCode, bool closeInput) {
    exitCode = -1;
    if (pid <= 0)
        return false;
    if (closeInput && toChild >= 0) {
        close(toChild);
        toChild = -1;
    }
    if (!reaped)
        reaped = reap(pid, nowMs() + timeoutMs, false, exitStatus);
    exitCode = exitStatus;
    return reaped;
}

int BrainProcess::finish(int timeoutMs) {
    if (pid <= 0)
        return -1;
    if (reaped)
        return exitStatus;
    if (toChild >= 0) {
        close(toChild);
        toChild = -1;
    }
    const double deadline = nowMs() + timeoutMs;
    while (!closed && fromChild >= 0) {
        pollfd fd{fromChild, POLLIN, 0};
        const int ready = poll(&fd, 1, millisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        if (!readSome(fromChild, pending))
            closed = true;
    }
    reap(pid, deadline, true, exitStatus);
    reaped = true;
    return exitStatus;
}

BrainRun runBrain(const std::vector<std::string>& command, const std::string& workDir, const std::string& input,
                  int timeoutMs) {
    BrainRun run;
    Child child = spawn(command, workDir);
    if (child.pid < 0)
        return run;
    const double deadline = nowMs() + timeoutMs;
    fcntl(child.toChild, F_SETFL, O_NONBLOCK);
    std::size_t written = 0;
    if (input.empty()) {
        close(child.toChild);
        child.toChild = -1;
    }
    // Write and read at once: a brain replying to a long input must never block us.
    while (child.fromChild >= 0 && nowMs() < deadline) {
        pollfd fds[2];
        nfds_t n = 0;
        fds[n++] = {child.fromChild, POLLIN, 0};
        if (child.toChild >= 0)
            fds[n++] = {child.toChild, POLLOUT, 0};
        const int ready = poll(fds, n, millisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) && !readSome(child.fromChild, run.output)) {
            close(child.fromChild);
            child.fromChild = -1;
        }
        if (n == 2 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
            const ssize_t put = write(child.toChild, input.data() + written, input.size() - written);
            if (put > 0)
                written += static_cast<std::size_t>(put);
            if ((put < 0 && errno != EAGAIN && errno != EINTR) || written == input.size()) {
                close(child.toChild);
                child.toChild = -1;
            }
        }
    }
    if (child.toChild >= 0)
        close(child.toChild);
    if (child.fromChild >= 0)
        close(child.fromChild);
    run.finished = reap(child.pid, deadline, true, run.exitCode);
    return run;
}

std::vector<std::string> outputLines(const std::string& output, bool& endsWithLineFeed) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : output) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    endsWithLineFeed = line.empty();
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

} // namespace kelmo
