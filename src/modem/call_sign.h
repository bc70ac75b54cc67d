#pragma once
#include <string>

namespace zk {

// Whether a word is built as an amateur call sign: a prefix of one or two characters (two
// letters, a letter and a digit, or a digit and one or two letters), one digit, a suffix
// of one to four letters; before it perhaps another prefix and a slash ("DL/W1AW"), after
// it perhaps a slash and a portable suffix ("/P", "/M", "/MM", "/AM", "/QRP", a digit or a
// prefix with its digit).
bool IsCallSign(const std::string& word);

// The last word of the text that is a call sign, or "" when there is none. Words are runs
// of letters, digits and slashes; lower case counts as upper case.
std::string LastCallSign(const std::string& text);

}  // namespace zk
