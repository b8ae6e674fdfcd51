// kelmo-book: creates and inspects opening books for the brain's learn command.
#include <iostream>
#include <string>
#include <vector>

#include "kelmo-book/book_tool.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return kelmo::runBookTool(args, std::cout, std::cerr);
}
