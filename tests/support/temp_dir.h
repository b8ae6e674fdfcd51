// A scratch directory for tests that touch files, removed with its contents.
#pragma once

#include <string>

namespace kelmo::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return dir; }
    std::string file(const std::string& name) const { return dir + "/" + name; }

private:
    std::string dir;
};

// Changes the working directory for the lifetime of the object.
class ScopedChdir {
public:
    explicit ScopedChdir(const std::string& path);
    ~ScopedChdir();

private:
    std::string previous;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& contents);

} // namespace kelmo::test
