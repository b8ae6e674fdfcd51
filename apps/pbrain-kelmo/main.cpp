// Process entry of the exact brain: it speaks the protocol on standard input
// and output.
#include <iostream>

#include "brain/kbrain.h"
#include "protocol/command_loop.h"

int main() {
    std::ios::sync_with_stdio(false);
    kelmo::KBrain brain;
    return kelmo::runCommandLoop(std::cin, std::cout, brain);
}
