#include "support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace kelmo::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kelmo-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    dir = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

ScopedChdir::ScopedChdir(const std::string& path) {
    previous = std::filesystem::current_path().string();
    std::filesystem::current_path(path);
}

ScopedChdir::~ScopedChdir() {
    std::error_code ec;
    std::filesystem::current_path(previous, ec);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
}

} // namespace kelmo::test
