// The protocol's command loop.
#pragma once

#include <istream>
#include <ostream>

namespace kelmo {

class KBrain;

// Runs the loop until END, end of input or a fatal protocol mismatch.
// Returns the process exit code (always 0).
int runCommandLoop(std::istream& in, std::ostream& out);

// The same loop on a brain the caller owns, so that its state can be examined
// once the loop has ended.
int runCommandLoop(std::istream& in, std::ostream& out, KBrain& brain);

} // namespace kelmo
