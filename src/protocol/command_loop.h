// The protocol's command loop.
#pragma once

#include <istream>
#include <ostream>
#include <string>

namespace kelmo {

class Brain;
struct ProIteration;

// Runs the loop on a brain the caller owns (either brain: the commands, replies
// and error lines are the same for both, the ABOUT line names the brain) until
// END, end of input or a fatal protocol mismatch. Returns the process exit code
// (always 0).
// A brain that searches by iterations has each finished one written as a
// progress line before its move line.
int runCommandLoop(std::istream& in, std::ostream& out, Brain& brain);

// The progress line of one finished iteration: "MESSAGE depth D", then "eval E"
// or "mate in N" (the brain forces five in N plies) or "mated in N" (the
// opponent does), then "nodes N nps R pv x,y x,y ...".
std::string progressLine(const ProIteration& iteration);

} // namespace kelmo
