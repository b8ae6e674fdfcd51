// Replacing a file whole: the new contents are written to a temporary file in
// the same folder, flushed to the disk, and moved over the old file in one
// atomic rename, so that whoever opens the path finds the old file or the new
// one, never a mixture.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kelmo {

// Hooks into a replacement, for tests that interrupt it at its worst moments.
// Empty hooks do nothing.
struct ReplaceSeams {
    std::size_t chunkBytes = 64 * 1024;
    // Called after each chunk reaches the temporary file, with the bytes written
    // so far; false fails the write there, as a full disk would.
    std::function<bool(std::uint64_t written)> afterChunk;
};

enum class ReplaceOutcome {
    Replaced,  // the path now holds the new contents
    Stale,     // stillCurrent said no: the old file is kept, no temporary is left
    Failed,    // the old file is kept, no temporary is left; error says why
};

// The temporary a replacement of target by this process writes: target's name
// with ".grow-" and the process id appended, in target's folder.
std::filesystem::path temporaryFor(const std::filesystem::path& target);

// Writes bytes beside target, then asks stillCurrent (when given) whether the
// old file is still the one the bytes were made from, and if so renames the new
// file over it. A new file takes the old one's permissions. Temporaries left by
// replacements of the same target whose processes have died (killed halfway)
// are removed first; a live one is left alone, since its name is its own.
ReplaceOutcome replaceFile(const std::filesystem::path& target, const std::vector<std::uint8_t>& bytes,
                           const std::function<bool()>& stillCurrent, const ReplaceSeams& seams,
                           std::string& error);

} // namespace kelmo
