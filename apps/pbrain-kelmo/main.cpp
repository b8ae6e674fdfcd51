// Process entry: the brain speaks the protocol on standard input and output.
#include <iostream>

#include "protocol/command_loop.h"

int main() {
    std::ios::sync_with_stdio(false);
    return kelmo::runCommandLoop(std::cin, std::cout);
}
