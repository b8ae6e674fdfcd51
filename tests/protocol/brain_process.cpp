// Child-process plumbing for the black-box tests: pipes on both standard
// streams, poll with a deadline so that a hanging brain fails a test instead of
// stalling it, and SIGPIPE ignored so that a brain which ends early (as after a
// fatal protocol mismatch) cannot take the test process down with it.
#include "protocol/brain_process.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kelmo::test {

namespace {

using Clock = std::chrono::steady_clock;

int millisecondsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Starts the executable with its standard input and output on new pipes.
pid_t spawn(const std::string& executable, const std::string& workDir, int& toChild, int& fromChild) {
    std::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2];
    if (pipe(in) != 0)
        return -1;
    if (pipe(out) != 0) {
        close(in[0]);
        close(in[1]);
        return -1;
    }
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(workDir.c_str()) != 0)
            _exit(126);
        dup2(in[0], 0);
        dup2(out[1], 1);
        close(in[0]);
        close(in[1]);
        close(out[0]);
        close(out[1]);
        execl(executable.c_str(), executable.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    if (pid < 0) {
        close(in[1]);
        close(out[0]);
        return -1;
    }
    toChild = in[1];
    fromChild = out[0];
    return pid;
}

// Waits for the child until the deadline, then kills it. -1 unless it exited normally.
int reap(pid_t pid, Clock::time_point deadline, bool& finished) {
    int status = 0;
    for (;;) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            break;
        if (r < 0)
            return -1;
        if (Clock::now() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            finished = false;
            return -1;
        }
        usleep(2000);
    }
    finished = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

BrainRun runBrain(const std::string& executable, const std::string& workDir, const std::string& input,
                  int deadlineSeconds) {
    BrainRun run;
    int toChild = -1, fromChild = -1;
    pid_t pid = spawn(executable, workDir, toChild, fromChild);
    if (pid < 0)
        return run;
    auto deadline = Clock::now() + std::chrono::seconds(deadlineSeconds);
    fcntl(toChild, F_SETFL, O_NONBLOCK);
    size_t written = 0;
    if (input.empty()) {
        close(toChild);
        toChild = -1;
    }
    // Write and read at once: a brain replying to a long input must never block us.
    while (fromChild >= 0 && Clock::now() < deadline) {
        pollfd fds[2];
        int n = 0;
        fds[n++] = {fromChild, POLLIN, 0};
        if (toChild >= 0)
            fds[n++] = {toChild, POLLOUT, 0};
        if (poll(fds, static_cast<nfds_t>(n), millisecondsLeft(deadline)) <= 0)
            break;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buf[4096];
            ssize_t got = read(fromChild, buf, sizeof buf);
            if (got <= 0) {
                close(fromChild);
                fromChild = -1;
            } else {
                run.output.append(buf, static_cast<size_t>(got));
            }
        }
        if (n == 2 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t put = write(toChild, input.data() + written, input.size() - written);
            if (put > 0)
                written += static_cast<size_t>(put);
            if (put < 0 || written == input.size()) {
                close(toChild);
                toChild = -1;
            }
        }
    }
    if (toChild >= 0)
        close(toChild);
    if (fromChild >= 0)
        close(fromChild);
    run.exitCode = reap(pid, deadline, run.finished);
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

BrainProcess::BrainProcess(const std::string& executable, const std::string& workDir) {
    pid = spawn(executable, workDir, toChild, fromChild);
}

BrainProcess::~BrainProcess() {
    if (pid > 0)
        finish(5);
}

bool BrainProcess::send(const std::string& line) {
    if (toChild < 0)
        return false;
    std::string text = line + "\n";
    size_t written = 0;
    while (written < text.size()) {
        ssize_t put = write(toChild, text.data() + written, text.size() - written);
        if (put <= 0)
            return false;
        written += static_cast<size_t>(put);
    }
    return true;
}

bool BrainProcess::readLine(std::string& line, int deadlineSeconds) {
    auto deadline = Clock::now() + std::chrono::seconds(deadlineSeconds);
    for (;;) {
        size_t end = buffered.find('\n');
        if (end != std::string::npos) {
            line = buffered.substr(0, end);
            buffered.erase(0, end + 1);
            return true;
        }
        if (fromChild < 0)
            return false;
        pollfd fd = {fromChild, POLLIN, 0};
        if (poll(&fd, 1, millisecondsLeft(deadline)) <= 0)
            return false;
        char buf[4096];
        ssize_t got = read(fromChild, buf, sizeof buf);
        if (got <= 0)
            return false;
        buffered.append(buf, static_cast<size_t>(got));
    }
}

int BrainProcess::finish(int deadlineSeconds) {
    if (pid <= 0)
        return -1;
    if (toChild >= 0) {
        close(toChild);
        toChild = -1;
    }
    // Drain what is left so that a brain still writing is never blocked on us.
    auto deadline = Clock::now() + std::chrono::seconds(deadlineSeconds);
    while (fromChild >= 0) {
        pollfd fd = {fromChild, POLLIN, 0};
        if (poll(&fd, 1, millisecondsLeft(deadline)) <= 0)
            break;
        char buf[4096];
        ssize_t got = read(fromChild, buf, sizeof buf);
        if (got <= 0)
            break;
        buffered.append(buf, static_cast<size_t>(got));
    }
    if (fromChild >= 0) {
        close(fromChild);
        fromChild = -1;
    }
    bool finished = false;
    int code = reap(pid, deadline, finished);
    pid = -1;
    return code;
}

} // namespace kelmo::test
