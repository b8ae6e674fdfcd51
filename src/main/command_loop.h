// The protocol's command loop.
#pragma once

#include <istream>
#include <ostream>

namespace kelmo {

// Runs the loop until END, end of input or a fatal protocol mismatch.
// Returns the process exit code (always 0).
int runCommandLoop(std::istream& in, std::ostream& out);

} // namespace kelmo
