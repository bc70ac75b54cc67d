#include "messages/fkey_file.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/clean_line.h"
#include "base/fixed_text.h"
#include "base/replace_file.h"
#include "messages/compose.h"

namespace zk {

namespace {

// Decimal value of a word as the C library reads it, held within 32 bits.
int32_t WordToInt32(const char* begin, const char* end) {
  std::string word(begin, end);
  long value = std::strtol(word.c_str(), nullptr, 10);
  if (value < INT32_MIN) return INT32_MIN;
  if (value > INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(value);
}

// "repeat <key> <seconds>": words split at blanks; a missing word leaves its value.
void ReadRepeatLine(FKeySet& set, const char* line) {
  int32_t* targets[] = {nullptr, &set.repeatKey, &set.repeatSeconds};
  const char* p = line;
  for (int32_t* target : targets) {
    while (*p == ' ') ++p;
    if (*p == '\0') break;
    const char* start = p;
    while (*p != '\0' && *p != ' ') ++p;
    if (target) *target = WordToInt32(start, p);
  }
}

// "rst" and "exchange": the value is everything after the line's first blank.
void ReadFormatLine(char (&format)[kReportFormatSize], const char* line) {
  const char* blank = std::strchr(line, ' ');
  if (blank) CopyText(format, blank + 1);
}

// "F<number>:" and the message from the fifth character on.
void ReadKeyLine(FKeySet& set, const char* line) {
  long number = std::strtol(line + 1, nullptr, 10);
  int index = number < 1 ? 0 : number > kFKeyCount ? kFKeyCount - 1 : static_cast<int>(number) - 1;
  if (std::strlen(line) <= 3)
    set.messages[index][0] = '\0';
  else
    CopyText(set.messages[index], line + 4);
}

// The prefixes are compared on their own length only: "rstx abc" is a format line too.
void ReadLine(FKeySet& set, char* line) {
  CleanLine(line);
  if (StartsWithNoCase(line, "repeat"))
    ReadRepeatLine(set, line);
  else if (StartsWithNoCase(line, "rst"))
    ReadFormatLine(set.hisRstFormat, line);
  else if (StartsWithNoCase(line, "exchange"))
    ReadFormatLine(set.exchangeFormat, line);
  else if (line[0] == 'F')
    ReadKeyLine(set, line);
}

template <size_t N>
void Terminate(char (&field)[N]) {
  field[N - 1] = '\0';
}

}  // namespace

std::string FKeyFileText(FKeySet& set) {
  std::string text;
  for (int i = 0; i < kFKeyCount; ++i) {
    Terminate(set.messages[i]);
    CleanLine(set.messages[i]);
    text += "F" + std::to_string(i + 1) + ": " + set.messages[i] + "\n";
  }
  Terminate(set.hisRstFormat);
  Terminate(set.exchangeFormat);
  text += "repeat " + std::to_string(set.repeatKey) + " " + std::to_string(set.repeatSeconds) + "\n";
  text += std::string("rst ") + set.hisRstFormat + "\n";
  text += std::string("exchange ") + set.exchangeFormat + "\n";
  return text;
}

bool SaveFKeyFile(FKeySet& set, const char* path) {
  if (!path) return false;
  // The messages are cleaned as they are written, so a save that fails cleans nothing.
  FKeySet saved = set;
  if (!WriteFileReplacing(path, FKeyFileText(saved))) return false;
  set = saved;
  return true;
}

FileRead LoadFKeyFile(FKeySet& set, const char* path) {
  std::FILE* file = path ? std::fopen(path, "r") : nullptr;
  if (!file) {
    LoadFKeyText(set, "", 0);  // clears the formats and the auto-repeat all the same
    return FileRead::kNothing;
  }
  if (TooLarge(file)) {
    std::fclose(file);
    return FileRead::kTooLarge;
  }
  std::string data;
  char chunk[4096];
  size_t got;
  // Held to the limit even for a file that grows while it is read.
  while (data.size() <= static_cast<size_t>(kLargestFileBytes) && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
    data.append(chunk, got);
  std::fclose(file);
  LoadFKeyText(set, data.data(), data.size());
  return FileRead::kRead;
}

void LoadFKeyText(FKeySet& set, const char* data, size_t size) {
  set.hisRstFormat[0] = '\0';
  set.exchangeFormat[0] = '\0';
  set.repeatKey = 0;
  set.repeatSeconds = 0;
  if (!data) return;
  std::string line;
  size_t pos = 0;
  while (pos < size) {
    const void* found = std::memchr(data + pos, '\n', size - pos);
    size_t end = found ? static_cast<size_t>(static_cast<const char*>(found) - data) : size;
    // A line is taken whole, however long, and its fields are cut afterwards.
    line.assign(data + pos, end - pos);
    ReadLine(set, &line[0]);
    pos = end + 1;
  }
}

void FileDialogStart(char* out, size_t capacity, const char* folder, const char* pattern) {
  if (capacity == 0) return;
  const int n = std::snprintf(out, capacity, "%s\\%s", folder, pattern);
  if (n < 0 || static_cast<size_t>(n) >= capacity) CopyText(out, capacity, pattern);
}

void AddDefaultExtension(char* path, size_t capacity, const char* extension) {
  const size_t length = std::strlen(path);
  size_t name = length;
  while (name > 0 && path[name - 1] != '\\' && path[name - 1] != '/' && path[name - 1] != ':') --name;
  if (length == name || std::strchr(path + name, '.')) return;
  if (length + 1 + std::strlen(extension) < capacity) std::snprintf(path + length, capacity - length, ".%s", extension);
}

}  // namespace zk
