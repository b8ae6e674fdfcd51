// Protocol text in tests: the brain's fixed reply lines, move lines and CR LF input.
#pragma once

#include <string>

namespace kelmo::test {

// The lines the brain answers with, written out here on their own so that a
// change of wording in the front end shows as a failing test.
inline const std::string ABOUT_LINE = "name=\"Kelmo\", version=\"1.0\", author=\"Kelmo developers\"";
inline const std::string PRO_ABOUT_LINE = "name=\"Kelmo Pro\", version=\"1.0\", author=\"Kelmo developers\"";
inline const std::string UNKNOWN = "ERROR Unknown Command!";
inline const std::string FATAL = "ERROR Fatal Error, Protocol Mismatch!";
inline const std::string SIZE_ERROR = "ERROR Unsupport size of board, supported size is 20!";
inline const std::string BODY_ERROR = "ERROR Error while updating board!";
inline const std::string DONE_ERROR = "'DONE' or digit expected!";
inline const std::string NO_MOVE = "ERROR No empty square left to play!";

// A move line "x,y" in plain decimal (no sign, blanks or leading zeros), both 0..19.
bool parseMove(const std::string& line, int& x, int& y);

// The same text with every line feed preceded by a carriage return.
std::string crlf(const std::string& text);

} // namespace kelmo::test
