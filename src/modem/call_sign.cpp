#include "modem/call_sign.h"

#include <cctype>
#include <cstddef>

namespace zk {

namespace {

bool Letter(char c) { return c >= 'A' && c <= 'Z'; }
bool Digit(char c) { return c >= '0' && c <= '9'; }

// How many characters of a prefix start at `at` when a digit follows them: "W", "VK",
// "S5", "9A", "3DA"; 0 when none does.
size_t PrefixLength(const std::string& w, size_t at) {
  const auto is = [&](size_t i, bool (*kind)(char)) { return i < w.size() && kind(w[i]); };
  for (size_t n : {size_t{3}, size_t{2}, size_t{1}}) {
    if (!is(at + n, Digit)) continue;
    if (n == 1 && is(at, Letter)) return 1;
    if (n == 2 &&
        ((is(at, Letter) && (is(at + 1, Letter) || is(at + 1, Digit))) || (is(at, Digit) && is(at + 1, Letter))))
      return 2;
    if (n == 3 && is(at, Digit) && is(at + 1, Letter) && is(at + 2, Letter)) return 3;
  }
  return 0;
}

// The call proper: prefix, one digit, one to four letters, the whole word.
bool IsBaseCall(const std::string& w) {
  const size_t prefix = PrefixLength(w, 0);
  if (prefix == 0) return false;
  size_t i = prefix + 1;
  const size_t suffixStart = i;
  while (i < w.size() && Letter(w[i])) ++i;
  return i == w.size() && i - suffixStart >= 1 && i - suffixStart <= 4;
}

// What may stand before the slash of a call: a prefix with or without its digit ("DL", "VE3").
bool IsPrefixPart(const std::string& p) {
  if (p.empty() || p.size() > 4) return false;
  for (char c : p)
    if (!Letter(c) && !Digit(c)) return false;
  return Letter(p[0]) || (p.size() > 1 && Letter(p[1]));
}

bool IsPortable(const std::string& s) {
  if (s == "P" || s == "M" || s == "MM" || s == "AM" || s == "QRP") return true;
  if (s.size() == 1 && Digit(s[0])) return true;
  return IsPrefixPart(s) && s.find_first_of("0123456789") != std::string::npos;
}

}  // namespace

bool IsCallSign(const std::string& word) {
  if (word.size() < 3 || word.size() > 16) return false;
  const size_t first = word.find('/');
  if (first == std::string::npos) return IsBaseCall(word);
  const size_t second = word.find('/', first + 1);
  if (second != std::string::npos) {
    return IsPrefixPart(word.substr(0, first)) && IsBaseCall(word.substr(first + 1, second - first - 1)) &&
           IsPortable(word.substr(second + 1));
  }
  const std::string before = word.substr(0, first), after = word.substr(first + 1);
  return (IsBaseCall(before) && IsPortable(after)) || (IsPrefixPart(before) && IsBaseCall(after));
}

std::string LastCallSign(const std::string& text) {
  std::string found, word;
  for (size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? static_cast<char>(std::toupper(static_cast<unsigned char>(text[i]))) : ' ';
    if (Letter(c) || Digit(c) || c == '/') {
      word.push_back(c);
      continue;
    }
    if (IsCallSign(word)) found = word;
    word.clear();
  }
  return found;
}

}  // namespace zk
