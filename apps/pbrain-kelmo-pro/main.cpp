// Process entry of the pro brain: the same protocol front end as the exact
// brain's, over the pro brain's own move choice.
#include <iostream>

#include "brain/pro_brain.h"
#include "protocol/command_loop.h"

int main() {
    std::ios::sync_with_stdio(false);
    // The brain holds its tables through a pointer; the object itself is small.
    kelmo::ProBrain brain;
    return kelmo::runCommandLoop(std::cin, std::cout, brain);
}
