// Child-process plumbing for driving a brain over pipes. Reads go through
// poll() with a deadline, so a silent brain turns into a Timeout result.
#include "brain_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
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

BrainProcess::BrainProcess(const std::vector<std::string>& command, const std::string& workDir) {
    // A brain that dies mid-write must give us EPIPE, not kill the driver.
    std::signal(SIGPIPE, SIG_IGN);
    if (command.empty())
        return;
    int in[2], out[2];
    if (pipe(in) != 0)
        return;
    if (pipe(out) != 0) {
        close(in[0]);
        close(in[1]);
        return;
    }
    // Everything the child needs is prepared before fork: after it only
    // async-signal-safe calls are allowed.
    // A relative program path is meant from here, not from workDir.
    std::vector<std::string> words = command;
    if (words[0].find('/') != std::string::npos)
        words[0] = std::filesystem::absolute(words[0]).string();
    std::vector<char*> argv;
    for (const std::string& word : words)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    const char* dir = workDir.empty() ? nullptr : workDir.c_str();

    pid_t child = fork();
    if (child == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        close(in[0]);
        close(in[1]);
        close(out[0]);
        close(out[1]);
        if (dir && chdir(dir) != 0)
            _exit(127);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    if (child < 0) {
        close(in[1]);
        close(out[0]);
        return;
    }
    pid = child;
    toChild = in[1];
    fromChild = out[0];
    fcntl(toChild, F_SETFD, FD_CLOEXEC);
    fcntl(fromChild, F_SETFD, FD_CLOEXEC);
}

BrainProcess::~BrainProcess() {
    if (toChild >= 0)
        close(toChild);
    if (fromChild >= 0)
        close(fromChild);
    if (pid > 0 && !reaped) {
        // Give it a moment to leave on its own after losing its input, then insist.
        int code;
        if (!waitExit(2000, code)) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
}

bool BrainProcess::send(const std::string& text, const std::string& eol) {
    if (toChild < 0)
        return false;
    std::string data = text + eol;
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        ssize_t n = write(toChild, p, left);
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
    const double deadline = nowMs() + timeoutMs;
    for (;;) {
        std::size_t end = pending.find('\n');
        if (end != std::string::npos) {
            line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
                carriageReturn = true;
            }
            return ReadResult::Line;
        }
        if (closed || fromChild < 0)
            return ReadResult::Closed;
        double left = deadline - nowMs();
        if (left <= 0)
            return ReadResult::Timeout;
        pollfd fd{fromChild, POLLIN, 0};
        int ready = poll(&fd, 1, static_cast<int>(left) + 1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;  // the deadline check above decides
        char buffer[4096];
        ssize_t n = read(fromChild, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A final line without its line feed still counts as a line.
            closed = true;
            if (!pending.empty()) {
                line = pending;
                pending.clear();
                return ReadResult::Line;
            }
            return ReadResult::Closed;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
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
    const double deadline = nowMs() + timeoutMs;
    for (;;) {
        int status = 0;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            reaped = true;
            exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return true;
        }
        if (done < 0 && errno != EINTR)
            return false;
        if (nowMs() >= deadline)
            return false;
        usleep(2000);
    }
}

} // namespace kelmo
