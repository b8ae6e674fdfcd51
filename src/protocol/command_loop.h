// The protocol's command loop.
#pragma once

#include <istream>
#include <ostream>

namespace kelmo {

class Brain;

// Runs the loop on a brain the caller owns (either brain: the commands, replies
// and error lines are the same for both, the ABOUT line names the brain) until
// END, end of input or a fatal protocol mismatch. Returns the process exit code
// (always 0).
int runCommandLoop(std::istream& in, std::ostream& out, Brain& brain);

} // namespace kelmo
