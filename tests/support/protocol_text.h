// Reading and writing protocol text in tests: move lines and CR LF input.
#pragma once

#include <string>

namespace kelmo::test {

// A move line "x,y" in plain decimal (no sign, blanks or leading zeros), both 0..19.
bool parseMove(const std::string& line, int& x, int& y);

// The same text with every line feed preceded by a carriage return.
std::string crlf(const std::string& text);

} // namespace kelmo::test
