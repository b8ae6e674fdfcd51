#include "support/protocol_text.h"

#include <regex>

namespace kelmo::test {

bool parseMove(const std::string& line, int& x, int& y) {
    static const std::regex move("(0|[1-9][0-9]?),(0|[1-9][0-9]?)");
    std::smatch m;
    if (!std::regex_match(line, m, move))
        return false;
    x = std::stoi(m[1]);
    y = std::stoi(m[2]);
    return x < 20 && y < 20;
}

std::string crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

} // namespace kelmo::test
