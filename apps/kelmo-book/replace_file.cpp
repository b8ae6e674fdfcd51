// Atomic replacement of a file: a temporary beside it, written and flushed,
// then renamed over it (rename(2) on POSIX, MoveFileExW on Windows).
#include "kelmo-book/replace_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kelmo {

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32

long processId() {
    return static_cast<long>(GetCurrentProcessId());
}

bool processAlive(long pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process)
        return GetLastError() != ERROR_INVALID_PARAMETER;  // denied: someone's live process
    DWORD code = 0;
    const bool alive = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return alive;
}

std::string lastError() {
    return std::system_category().message(static_cast<int>(GetLastError()));
}

// A file created for this replacement only: creation fails if the name exists.
class NewFile {
public:
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    NewFile() = default;
    ~NewFile() { close(); }

    bool create(const fs::path& path) {
        handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        return handle != INVALID_HANDLE_VALUE;
    }
    // Windows gives a new file the folder's inherited permissions, as the old one had.
    void copyPermissions(const fs::path&) {}
    bool write(const std::uint8_t* data, std::size_t len) {
        while (len > 0) {
            DWORD done = 0;
            const DWORD part = static_cast<DWORD>(len < (1u << 30) ? len : (1u << 30));
            if (!WriteFile(handle, data, part, &done, nullptr) || done == 0)
                return false;
            data += done;
            len -= done;
        }
        return true;
    }
    bool sync() { return FlushFileBuffers(handle) != 0; }
    bool close() {
        if (handle == INVALID_HANDLE_VALUE)
            return true;
        const bool ok = CloseHandle(handle) != 0;
        handle = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE handle = INVALID_HANDLE_VALUE;
};

bool renameOver(const fs::path& from, const fs::path& to, std::string& reason) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    reason = lastError();
    return false;
}

#else

long processId() {
    return static_cast<long>(getpid());
}

bool processAlive(long pid) {
    // EPERM: the process exists but belongs to someone else.
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

std::string lastError() {
    return std::system_category().message(errno);
}

class NewFile {
public:
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    NewFile() = default;
    ~NewFile() { close(); }

    // O_EXCL: never write through a name that someone else put there, a
    // symbolic link included.
    bool create(const fs::path& path) {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        return fd >= 0;
    }
    void copyPermissions(const fs::path& from) {
        struct stat old;
        if (::stat(from.c_str(), &old) == 0)
            (void)::fchmod(fd, old.st_mode & 07777);
    }
    bool write(const std::uint8_t* data, std::size_t len) {
        while (len > 0) {
            const ssize_t done = ::write(fd, data, len);
            if (done < 0 && errno == EINTR)
                continue;
            if (done <= 0)
                return false;
            data += done;
            len -= static_cast<std::size_t>(done);
        }
        return true;
    }
    bool sync() { return ::fsync(fd) == 0; }
    bool close() {
        if (fd < 0)
            return true;
        const bool ok = ::close(fd) == 0;
        fd = -1;
        return ok;
    }

private:
    int fd = -1;
};

bool renameOver(const fs::path& from, const fs::path& to, std::string& reason) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        reason = lastError();
        return false;
    }
    // The rename itself lives in the folder: flush it too, where the file
    // system allows, so that the new name survives a power cut.
    const fs::path folder = to.has_parent_path() ? to.parent_path() : fs::path(".");
    const int dir = ::open(folder.c_str(), O_RDONLY | O_CLOEXEC);
    if (dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
    return true;
}

#endif

std::string temporaryPrefix(const fs::path& target) {
    return target.filename().string() + ".grow-";
}

// Temporaries of this target left by processes that are gone: a replacement
// killed halfway cannot clean up after itself. One with this process's id is
// left over from an earlier process that had the same id.
void removeDeadTemporaries(const fs::path& target) {
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const std::string prefix = temporaryPrefix(target);
    std::vector<fs::path> dead;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        long pid = 0;
        const char* first = name.data() + prefix.size();
        const char* last = name.data() + name.size();
        const auto [ptr, err] = std::from_chars(first, last, pid);
        if (err != std::errc() || ptr != last || pid <= 0)
            continue;
        if (pid == processId() || !processAlive(pid))
            dead.push_back(it->path());
    }
    for (const fs::path& path : dead)
        fs::remove(path, ec);
}

} // namespace

fs::path temporaryFor(const fs::path& target) {
    return target.parent_path() / (temporaryPrefix(target) + std::to_string(processId()));
}

ReplaceOutcome replaceFile(const fs::path& target, const std::vector<std::uint8_t>& bytes,
                           const std::function<bool()>& stillCurrent, const ReplaceSeams& seams,
                           std::string& error) {
    removeDeadTemporaries(target);
    const fs::path temporary = temporaryFor(target);
    NewFile file;
    if (!file.create(temporary)) {
        error = temporary.string() + ": cannot be created: " + lastError();
        return ReplaceOutcome::Failed;
    }
    file.copyPermissions(target);
    // Whatever goes wrong from here on, the temporary goes and the old file stays.
    const auto discard = [&](ReplaceOutcome outcome) {
        file.close();
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return outcome;
    };

    const std::size_t chunk = seams.chunkBytes > 0 ? seams.chunkBytes : bytes.size();
    for (std::size_t written = 0; written < bytes.size();) {
        const std::size_t len = std::min(chunk, bytes.size() - written);
        if (!file.write(bytes.data() + written, len)) {
            error = temporary.string() + ": cannot be written: " + lastError();
            return discard(ReplaceOutcome::Failed);
        }
        written += len;
        if (seams.afterChunk && !seams.afterChunk(written)) {
            error = temporary.string() + ": cannot be written";
            return discard(ReplaceOutcome::Failed);
        }
    }
    // On the disk before the rename: otherwise a power cut just after it could
    // leave the new name on a file whose contents never arrived.
    if (!file.sync() || !file.close()) {
        error = temporary.string() + ": cannot be flushed to the disk: " + lastError();
        return discard(ReplaceOutcome::Failed);
    }
    if (stillCurrent && !stillCurrent())
        return discard(ReplaceOutcome::Stale);
    std::string reason;
    if (!renameOver(temporary, target, reason)) {
        error = target.string() + ": cannot be replaced: " + reason;
        return discard(ReplaceOutcome::Failed);
    }
    return ReplaceOutcome::Replaced;
}

} // namespace kelmo
