#include "messages/compose.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/escapes.h"
#include "base/fixed_text.h"

namespace zk {

namespace {

constexpr char kLogUpdateMark = 0x01;  // what "\u" leaves in the resolved text
constexpr int kMaxReportTokens = 7;

char LowerAscii(char ch) { return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch; }

const char* OrEmpty(const char* text) { return text ? text : ""; }

struct Token {
  const char* text = "";
  size_t length = 0;
};

// Highest n in 1..7 for which "#n" occurs in the format, 0 when none does.
int HighestReportMarker(const char* format) {
  int highest = 0;
  for (const char* p = format; *p != '\0'; ++p)
    if (p[0] == '#' && p[1] >= '1' && p[1] <= '0' + kMaxReportTokens)
      highest = p[1] - '0' > highest ? p[1] - '0' : highest;
  return highest;
}

// Token 1 is the first word, the tokens up to the last one are the following words, and
// the last (at least token 2) is everything after the word before it and its one blank.
void SplitReport(const char* report, int highest, Token (&tokens)[kMaxReportTokens + 1]) {
  int last = highest < 2 ? 2 : highest;
  const char* p = report;
  for (int k = 1; k < last; ++k) {
    while (*p == ' ') ++p;
    const char* start = p;
    while (*p != '\0' && *p != ' ') ++p;
    tokens[k] = Token{start, static_cast<size_t>(p - start)};
    if (*p == ' ') ++p;
  }
  tokens[last] = Token{p, std::strlen(p)};
}

// The token a "#" asks for: the number written after it, 1 or less as 1, 7 or more as 7.
int ReportTokenNumber(const char* afterHash) {
  long number = std::strtol(afterHash, nullptr, 10);
  if (number <= 1) return 1;
  if (number >= kMaxReportTokens) return kMaxReportTokens;
  return static_cast<int>(number);
}

}  // namespace

const char* FindNoCase(const char* text, const char* part) {
  if (!text || *text == '\0' || !part) return nullptr;
  for (const char* start = text; *start != '\0'; ++start)
    if (StartsWithNoCase(start, part)) return start;
  return nullptr;
}

bool StartsWithNoCase(const char* text, const char* prefix) {
  if (!text || !prefix) return false;
  for (; *prefix != '\0'; ++text, ++prefix)
    if (*text == '\0' || LowerAscii(*text) != LowerAscii(*prefix)) return false;
  return true;
}

size_t ApplyReportFormat(char* out, size_t capacity, const char* hisRst, const char* format) {
  if (!out || capacity == 0) return 0;
  BoundedText o{out, capacity};
  hisRst = OrEmpty(hisRst);
  format = OrEmpty(format);

  const char* firstHash = std::strchr(format, '#');
  if (!firstHash || !std::strchr(firstHash + 1, '#')) {
    o.Put(hisRst);
    return o.Terminate();
  }
  int highest = HighestReportMarker(format);
  if (highest == 0) return o.Terminate();

  Token tokens[kMaxReportTokens + 1];
  SplitReport(hisRst, highest, tokens);
  for (const char* p = format; *p != '\0';) {
    if (p[0] == '#' && p[1] != '\0') {
      const Token& token = tokens[ReportTokenNumber(p + 1)];
      o.Put(token.text, token.length);
      p += 2;
    } else {
      o.Put(*p++);
    }
  }
  return o.Terminate();
}

size_t ExpandMacros(const char* in, char* out, size_t capacity, const MacroValues& values, bool* logUpdateRequested) {
  bool logUpdate = false;
  if (!out || capacity == 0) {
    if (logUpdateRequested) *logUpdateRequested = false;
    return 0;
  }
  BoundedText o{out, capacity};
  // The walk goes on past a full output so that a late "\u" is still seen.
  for (const char* p = OrEmpty(in); *p != '\0';) {
    if (*p == kLogUpdateMark) {
      logUpdate = true;
      ++p;
    } else if (StartsWithNoCase(p, "(MYCALL)")) {
      o.Put(OrEmpty(values.myCall));
      p += 8;
    } else if (StartsWithNoCase(p, "(HISCALL)")) {
      o.Put(OrEmpty(values.callBox), kCallBoxMaxChars);
      p += 9;
    } else if (StartsWithNoCase(p, "(HISRST)")) {
      o.n += ApplyReportFormat(out + o.n, capacity - o.n, values.hisRst, values.hisRstFormat);
      p += 8;
    } else if (StartsWithNoCase(p, "(EXCHANGEONLY)")) {
      o.n += ApplyReportFormat(out + o.n, capacity - o.n, values.hisRst, values.exchangeFormat);
      p += 14;
    } else if (StartsWithNoCase(p, "(MYRST)")) {
      o.Put(OrEmpty(values.myRst));
      p += 7;
    } else {
      o.Put(*p++);
    }
  }
  if (logUpdateRequested) *logUpdateRequested = logUpdate;
  return o.Terminate();
}

bool TooLarge(std::FILE* file) {
  const bool large = std::fseek(file, kLargestFileBytes, SEEK_SET) == 0 && std::fgetc(file) != EOF;
  std::rewind(file);
  return large;
}

FileRead ReadMessageFile(const char* path, std::string& body) {
  body.clear();
  std::FILE* file = path ? std::fopen(path, "r") : nullptr;
  if (!file) return FileRead::kNothing;
  const bool large = TooLarge(file);
  if (!large) {
    body.resize(kMessageFileMaxBytes);
    body.resize(std::fread(&body[0], 1, kMessageFileMaxBytes, file));
  }
  std::fclose(file);
  if (large) return FileRead::kTooLarge;
  return body.empty() ? FileRead::kNothing : FileRead::kRead;
}

ComposeResult ComposeMessage(const char* message, const ComposeContext& context) {
  ComposeResult result;
  const char* p = OrEmpty(message);
  bool trailingBlank = true;

  while (*p == ' ') ++p;
  if (*p == '<') {
    const char* close = std::strchr(p, '>');
    p = close ? close + 1 : p + std::strlen(p);
    while (*p == ' ') ++p;
    if (*p == '-') {
      trailingBlank = false;
      ++p;
    }
  }

  const char* body = p;
  std::string fileBody;
  if (*p == '@') {
    std::string path = std::string(OrEmpty(context.startDirectory)) + "\\" + (p + 1);
    if (path.size() >= kMessagePathSize) return result;
    const MessageFileReader& read = context.readFile;
    const FileRead got = read ? read(path.c_str(), fileBody) : ReadMessageFile(path.c_str(), fileBody);
    if (got == FileRead::kTooLarge) result.refusedFile = path;
    if (got != FileRead::kRead || fileBody.empty()) return result;
    if (fileBody.size() > kMessageFileMaxBytes) fileBody.resize(kMessageFileMaxBytes);
    body = fileBody.c_str();
  }

  std::vector<char> resolved(kComposeBufferSize);
  EscapeContext escapeContext;
  escapeContext.transmitting = context.transmitting;
  EscapeEffects effects;
  ParseEscapes(resolved.data(), resolved.size(), body, escapeContext, &effects);
  result.qsoPending = effects.qsoPending;
  const char* lastUpdate = std::strrchr(resolved.data(), kLogUpdateMark);
  result.qsoPendingAfterUpdate =
      effects.qsoPending && lastUpdate && effects.qsoPendingAt > static_cast<size_t>(lastUpdate - resolved.data());

  const char* text = resolved.data();
  if (*text == '-') {
    trailingBlank = false;
    ++text;
  }
  std::vector<char> expanded(kComposeBufferSize);
  size_t length = ExpandMacros(text, expanded.data(), expanded.size(), context.macros, &result.logUpdateRequested);

  const char ignoreChar = OrEmpty(context.ignore)[0];
  result.text.reserve(length + 1);
  for (size_t i = 0; i < length; ++i) {
    char ch = expanded[i];
    if (ch == kStartOfTransmission)
      result.startTxRequested = true;
    else if (ignoreChar != '\0' && ch == ignoreChar)
      result.text += ' ';
    else if (ch == '\n')
      result.text += '\r';
    else
      result.text += ch;
  }
  if (trailingBlank) result.text += ' ';
  return result;
}

bool FKeyLabel(const char* message, char* label, size_t capacity) {
  const char* p = OrEmpty(message);
  while (*p == ' ') ++p;
  if (*p != '<') return false;
  const char* close = std::strchr(p + 1, '>');
  if (!close) return false;
  CopyTextN(label, capacity, p + 1, static_cast<size_t>(close - (p + 1)));
  return true;
}

bool ShouldArmRepeat(int index, const FKeySet& set) {
  if (index < 0 || index >= kFKeyCount || index + 1 != set.repeatKey) return false;
  char text[kFKeyMessageSize];
  CopyText(text, set.messages[index]);  // a stored field need not be terminated
  return FindNoCase(text, "\\t") && FindNoCase(text, "\\s");
}

}  // namespace zk
