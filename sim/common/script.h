#pragma once
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace zk {
namespace sim {

// A traffic script: the text a simulated station sends, with pauses, noise, exact codes
// and waits for what it hears. One line each:
//   text            sent as it stands, followed by a newline
//   # ...           comment
//   @pause MS       silence
//   @noise N        N random codes (fixed seed)
//   @raw c1 c2 ...  exact codes or bytes, decimal or 0x hex
//   @wait-rx TEXT   hold until TEXT has been received (letter case ignored)
//   @@...           text that begins with a single "@"
struct ScriptStep {
  enum class Kind { kText, kPause, kNoise, kRaw, kWaitRx };
  Kind kind = Kind::kText;
  std::string text;            // kText (newline included), kWaitRx
  std::vector<uint8_t> bytes;  // kRaw
  int64_t amount = 0;          // kPause: milliseconds; kNoise: number of codes
  int line = 0;
};

struct Script {
  std::vector<ScriptStep> steps;
};

constexpr size_t kMaxScriptLine = 1000;     // longer lines are cut
constexpr size_t kMaxScriptFile = 1 << 20;  // the rest of a larger file is ignored
constexpr int64_t kMaxPauseMs = 3600 * 1000;
constexpr int64_t kMaxNoise = 100000;

// Decimal, or hex after "0x"; the whole token must be a number within [low, high].
inline bool ParseScriptNumber(const std::string& token, int64_t low, int64_t high, int64_t* value) {
  if (token.empty()) return false;
  size_t pos = 0;
  int base = 10;
  if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
    base = 16;
    pos = 2;
  }
  int64_t v = 0;
  for (; pos < token.size(); ++pos) {
    const char c = token[pos];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    v = v * base + digit;
    if (v > high) return false;
  }
  if (v < low) return false;
  *value = v;
  return true;
}

namespace detail {

inline std::vector<std::string> SplitBlanks(const std::string& s) {
  std::vector<std::string> tokens;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    const size_t start = i;
    while (i < s.size() && s[i] != ' ' && s[i] != '\t') ++i;
    if (i > start) tokens.push_back(s.substr(start, i - start));
  }
  return tokens;
}

inline std::string TrimBlanks(const std::string& s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

inline bool Fail(std::string* error, int line, const std::string& what) {
  if (error) *error = "line " + std::to_string(line) + ": " + what;
  return false;
}

// Reads one "@..." line into step; false (with the reason) for anything malformed.
inline bool ParseDirective(const std::string& line, int lineNo, int maxRaw, ScriptStep* step, std::string* error) {
  const size_t nameEnd = std::min(line.find_first_of(" \t"), line.size());
  const std::string name = line.substr(1, nameEnd - 1);
  const std::string rest = TrimBlanks(line.substr(nameEnd));
  const std::vector<std::string> args = SplitBlanks(rest);
  step->line = lineNo;
  if (name == "pause" || name == "noise") {
    const bool pause = name == "pause";
    step->kind = pause ? ScriptStep::Kind::kPause : ScriptStep::Kind::kNoise;
    if (args.size() != 1 || !ParseScriptNumber(args[0], 0, pause ? kMaxPauseMs : kMaxNoise, &step->amount)) {
      return Fail(error, lineNo,
                  "@" + name + " needs one number up to " + std::to_string(pause ? kMaxPauseMs : kMaxNoise));
    }
    return true;
  }
  if (name == "raw") {
    step->kind = ScriptStep::Kind::kRaw;
    if (args.empty()) return Fail(error, lineNo, "@raw needs at least one code");
    for (const std::string& a : args) {
      int64_t v = 0;
      if (!ParseScriptNumber(a, 0, maxRaw, &v)) {
        return Fail(error, lineNo, "@raw code \"" + a + "\" is not 0.." + std::to_string(maxRaw));
      }
      step->bytes.push_back(static_cast<uint8_t>(v));
    }
    return true;
  }
  if (name == "wait-rx") {
    step->kind = ScriptStep::Kind::kWaitRx;
    if (rest.empty()) return Fail(error, lineNo, "@wait-rx needs a text");
    step->text = rest;
    return true;
  }
  return Fail(error, lineNo, "unknown directive @" + name);
}

}  // namespace detail

// Parses a script. maxRaw is the largest value @raw accepts (31 for five-bit codes).
// On failure *error names the line and the fault, and *out is left empty.
inline bool ParseScript(const std::string& source, int maxRaw, Script* out, std::string* error) {
  out->steps.clear();
  size_t pos = 0;
  int lineNo = 0;
  const size_t end = std::min(source.size(), kMaxScriptFile);
  while (pos < end) {
    size_t eol = source.find('\n', pos);
    if (eol == std::string::npos || eol > end) eol = end;
    std::string line = source.substr(pos, eol - pos);
    pos = eol + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > kMaxScriptLine - 1) line.resize(kMaxScriptLine - 1);
    if (!line.empty() && line[0] == '#') continue;
    ScriptStep step;
    step.line = lineNo;
    if (line.size() >= 2 && line[0] == '@' && line[1] == '@') {
      step.text = line.substr(1) + "\n";
    } else if (!line.empty() && line[0] == '@') {
      if (!detail::ParseDirective(line, lineNo, maxRaw, &step, error)) {
        out->steps.clear();
        return false;
      }
    } else {
      step.text = line + "\n";
    }
    out->steps.push_back(std::move(step));
  }
  return true;
}

inline bool LoadScript(const char* path, int maxRaw, Script* out, std::string* error) {
  FILE* f = std::fopen(path, "rb");
  if (!f) {
    if (error) *error = std::string("cannot open ") + path + ": " + std::strerror(errno);
    return false;
  }
  std::string source;
  char buf[4096];
  size_t n;
  while (source.size() < kMaxScriptFile && (n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    source.append(buf, n);
  }
  std::fclose(f);
  return ParseScript(source, maxRaw, out, error);
}

}  // namespace sim
}  // namespace zk
