// kelmo-memwatch (Windows only): runs a brain as its child and passes the
// protocol through both ways unchanged, except that a line "MEMORY-COUNTERS"
// on its input is not passed on but answered with the child's counters as the
// Windows managers read them after a move (GetProcessMemoryInfo of the brain's
// process):
//
//     MEMORY-COUNTERS WorkingSetSize PeakWorkingSetSize PagefileUsage PeakPagefileUsage
//
// in bytes. A brain is never asked about its own memory by the protocol, so a
// Windows brain's peaks (under wine in CI) are read this way by
// `kelmo-timing --peak-memory --counters probe -- wine kelmo-memwatch.exe BRAIN.exe`.
//
//   kelmo-memwatch.exe BRAIN.exe [ARGS...]
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

namespace {

struct Relay {
    HANDLE from;
    HANDLE to;
    HANDLE child;
};

// The brain's output, passed on as it comes. When the brain has closed it (it
// has ended, say after END), the helper ends with the brain's exit code, even
// if its own input stays open.
DWORD WINAPI relayOutput(void* argument) {
    const Relay* relay = static_cast<const Relay*>(argument);
    char buffer[4096];
    DWORD got = 0, put = 0;
    while (ReadFile(relay->from, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        if (!WriteFile(relay->to, buffer, got, &put, nullptr))
            break;
    }
    WaitForSingleObject(relay->child, 10000);
    DWORD code = 0;
    GetExitCodeProcess(relay->child, &code);
    ExitProcess(code);
}

bool writeAll(HANDLE to, const std::string& text) {
    DWORD put = 0;
    return WriteFile(to, text.data(), static_cast<DWORD>(text.size()), &put, nullptr) && put == text.size();
}

std::string quoted(const char* word) {
    std::string text = word;
    if (text.find_first_of(" \t\"") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: kelmo-memwatch BRAIN.exe [ARGS...]\n");
        return 2;
    }
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            commandLine += ' ';
        commandLine += quoted(argv[i]);
    }

    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE childInRead, childInWrite, childOutRead, childOutWrite;
    if (!CreatePipe(&childInRead, &childInWrite, &inherit, 0) || !CreatePipe(&childOutRead, &childOutWrite, &inherit, 0))
        return 2;
    SetHandleInformation(childInWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(childOutRead, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInRead;
    startup.hStdOutput = childOutWrite;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child)) {
        std::fprintf(stderr, "kelmo-memwatch: cannot start %s (error %lu)\n", commandLine.c_str(),
                     static_cast<unsigned long>(GetLastError()));
        return 2;
    }
    CloseHandle(childInRead);
    CloseHandle(childOutWrite);

    Relay relay{childOutRead, GetStdHandle(STD_OUTPUT_HANDLE), child.hProcess};
    HANDLE relayThread = CreateThread(nullptr, 0, relayOutput, &relay, 0, nullptr);

    // Our input, a line at a time: every line but the query goes to the brain.
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    std::string pending;
    char buffer[4096];
    DWORD got = 0;
    bool open = true;
    while (open && ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        pending.append(buffer, got);
        std::size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end + 1);
            pending.erase(0, end + 1);
            std::string word = line.substr(0, line.find_first_of("\r\n"));
            if (word == "MEMORY-COUNTERS") {
                PROCESS_MEMORY_COUNTERS counters{};
                std::string reply = "MEMORY-COUNTERS -1 -1 -1 -1\n";
                if (GetProcessMemoryInfo(child.hProcess, &counters, sizeof counters)) {
                    char text[160];
                    std::snprintf(text, sizeof text, "MEMORY-COUNTERS %llu %llu %llu %llu\n",
                                  static_cast<unsigned long long>(counters.WorkingSetSize),
                                  static_cast<unsigned long long>(counters.PeakWorkingSetSize),
                                  static_cast<unsigned long long>(counters.PagefileUsage),
                                  static_cast<unsigned long long>(counters.PeakPagefileUsage));
                    reply = text;
                }
                writeAll(relay.to, reply);
            } else if (!writeAll(childInWrite, line)) {
                open = false;
                break;
            }
        }
    }
    if (open && !pending.empty())
        writeAll(childInWrite, pending);
    CloseHandle(childInWrite);
    WaitForSingleObject(child.hProcess, 10000);
    WaitForSingleObject(relayThread, 2000);
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    return static_cast<int>(code);
}
