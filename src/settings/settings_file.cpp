#include "settings/settings_file.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/clean_line.h"
#include "base/fixed_text.h"
#include "base/replace_file.h"

namespace zk {
namespace {

// How a value is read and written.
enum class Form : uint8_t {
  kText,       // the rest of the line, cut to the field
  kKeptText,   // as kText, but never written
  kInt,        // a 32-bit decimal, held within the row's limits
  kByte,       // a decimal of which the low 8 bits are kept; written unsigned
  kFlag,       // a byte: 1 for any number but 0
  kRatio,      // written "%.6f"; only a finite number is taken
  kWindowLoc,  // four integers: the main window's place, kept outside the record
  kMessages,   // "msg0" to "msg8", the function-key messages
};

struct Row {
  const char* key;
  Form form;
  size_t offset;  // of the field in Settings
  size_t size;    // of the field
  int32_t low = INT32_MIN;
  int32_t high = INT32_MAX;
};

// Where a field of the record lies, and how large it is.
#define FIELD(member) offsetof(Settings, member), sizeof(static_cast<Settings*>(nullptr)->member)

// Every key in the order of the written file; the reader takes them in any order.
constexpr Row kRows[] = {
    {"mycall", Form::kText, FIELD(myCall)},
    {"baudot", Form::kInt, FIELD(options.baudot)},
    {"ltrsonspace", Form::kInt, FIELD(options.lettersOnSpace)},
    {"diddle", Form::kInt, FIELD(options.diddle)},
    {"pttcontrol", Form::kInt, FIELD(options.ptt)},
    {"devtype", Form::kInt, FIELD(serial.device)},
    {"pttms", Form::kInt, FIELD(options.pttDelayMs), 0, kMaxPttMs},
    {"ttyport", Form::kInt, FIELD(serial.port)},
    {"ttybytesize", Form::kInt, FIELD(serial.dataBits)},
    {"ttyportnumber", Form::kInt, FIELD(serial.port)},
    {"ttybaud", Form::kInt, FIELD(serial.baud)},
    {"ttystop", Form::kInt, FIELD(serial.stopBits)},
    {"ttyparity", Form::kInt, FIELD(serial.parity)},
    {"ttyflow", Form::kInt, FIELD(serial.flow)},
    {"ttyxon", Form::kInt, FIELD(serial.xon)},
    {"ttytncecho", Form::kFlag, FIELD(serial.tncEcho)},
    {"ttytncnewline", Form::kFlag, FIELD(serial.tncNewline)},
    {"winratio", Form::kRatio, FIELD(paneRatio)},
    {"windowloc", Form::kWindowLoc, 0, sizeof(WindowLoc)},
    {"tncinit", Form::kText, FIELD(tnc.init)},
    {"tncrx", Form::kText, FIELD(tnc.receive)},
    {"tnctx", Form::kText, FIELD(tnc.transmit)},
    {"command", Form::kText, FIELD(tnc.command)},
    {"rxmodechar", Form::kByte, FIELD(tnc.receiveModeChar)},
    {"bgcolour", Form::kInt, FIELD(look.background)},
    {"bordercolour", Form::kInt, FIELD(look.border)},
    {"fgaprep", Form::kInt, FIELD(look.typingText)},
    {"fgarx", Form::kInt, FIELD(look.receivedText)},
    {"fgatx", Form::kInt, FIELD(look.sentText)},
    {"prepfontface", Form::kText, FIELD(look.typingFont.face)},
    {"prepfontpoints", Form::kInt, FIELD(look.typingFont.size)},
    {"prepfontweight", Form::kInt, FIELD(look.typingFont.weight)},
    {"prepfonitalic", Form::kByte, FIELD(look.typingFont.italic)},
    {"rxtxfontface", Form::kText, FIELD(look.rxTxFont.face)},
    {"rxtxfontpoints", Form::kInt, FIELD(look.rxTxFont.size)},
    {"rxtxfontweight", Form::kInt, FIELD(look.rxTxFont.weight)},
    {"rxtxfonitalic", Form::kByte, FIELD(look.rxTxFont.italic)},
    {"ignore", Form::kText, FIELD(tnc.ignore)},
    {"repeatfkey", Form::kInt, FIELD(fkeys.repeatKey)},
    {"repeatsec", Form::kInt, FIELD(fkeys.repeatSeconds)},
    {"hisrstformat", Form::kText, FIELD(fkeys.hisRstFormat)},
    {"exchangeformat", Form::kText, FIELD(fkeys.exchangeFormat)},
    {"msg", Form::kMessages, FIELD(fkeys.messages)},
    {"ttyconnect", Form::kKeptText, FIELD(connectScript)},
    {"ttydisconnect", Form::kKeptText, FIELD(disconnectScript)},
};

#undef FIELD

// A row whose form does not fit its field would read or write past it.
constexpr bool FitsItsField(const Row& row) {
  switch (row.form) {
    case Form::kInt: return row.size == sizeof(int32_t);
    case Form::kByte:
    case Form::kFlag: return row.size == sizeof(uint8_t);
    case Form::kRatio: return row.size == sizeof(double);
    case Form::kWindowLoc: return row.size == sizeof(WindowLoc);
    case Form::kMessages: return row.size == sizeof(FKeySet::messages);
    case Form::kText:
    case Form::kKeptText: return row.size > 1;
  }
  return false;
}

constexpr bool EveryRowFitsItsField() {
  for (const Row& row : kRows)
    if (!FitsItsField(row) || row.offset + row.size > sizeof(Settings)) return false;
  return true;
}

static_assert(EveryRowFitsItsField(), "a row of the settings table does not fit its field");

bool IsText(Form form) { return form == Form::kText || form == Form::kKeptText; }

// The message keys are "msg" and the index; every other key is compared whole.
bool Matches(const Row& row, const char* key) {
  if (row.form == Form::kMessages) return std::strncmp(key, row.key, 3) == 0;
  return std::strcmp(key, row.key) == 0;
}

// Decimal conversion as the file has always been read: leading sign, stops at the first
// non-digit, no digits give 0. Values beyond 32 bits are held at the nearest end.
// Returns false when no digit was found.
bool ParseInt(const char* text, const char** end, int32_t* value) {
  char* stop = nullptr;
  long long wide = std::strtoll(text, &stop, 10);
  if (wide > INT32_MAX) wide = INT32_MAX;
  if (wide < INT32_MIN) wide = INT32_MIN;
  *value = static_cast<int32_t>(wide);
  if (end) *end = stop;
  return stop != text;
}

int32_t ToInt(const char* text) {
  int32_t value = 0;
  ParseInt(text, nullptr, &value);
  return value;
}

// Cuts the value to the field and drops what would not survive the next read (trailing
// blanks and controls left by the cut); an empty result leaves the field as it was, like
// a key written with an empty value.
void SetText(char* field, size_t capacity, const char* value) {
  size_t n = std::strlen(value);
  if (n > capacity - 1) n = capacity - 1;
  while (n > 0 && static_cast<unsigned char>(value[n - 1]) <= 32) --n;
  if (n == 0) return;
  CopyTextN(field, capacity, value, n);
}

// A ratio that is not a finite number would wreck the pane layout, so it is refused.
void SetRatio(char* field, const char* text) {
  char* stop = nullptr;
  double value = std::strtod(text, &stop);
  if (stop == text) value = 0.0;
  if (std::isfinite(value)) std::memcpy(field, &value, sizeof value);
}

// "left top right bottom"; a line with fewer than four integers moves nothing.
void SetWindowLoc(const char* text, WindowLoc* loc, bool* haveLoc) {
  int32_t parts[4];
  const char* at = text;
  for (int32_t& part : parts)
    if (!ParseInt(at, &at, &part)) return;
  if (loc) *loc = WindowLoc{parts[0], parts[1], parts[2], parts[3]};
  if (haveLoc) *haveLoc = true;
}

// "msg" followed by the decimal index; the three letters alone give index 0.
void SetMessage(char* messages, const char* key, const char* value) {
  const int32_t index = ToInt(key + 3);
  if (index < 0 || index >= kFKeyCount) return;
  SetText(messages + static_cast<size_t>(index) * kFKeyMessageSize, kFKeyMessageSize, value);
}

void ReadValue(char* field, const Row& row, const char* key, const char* value, WindowLoc* loc, bool* haveLoc) {
  switch (row.form) {
    case Form::kText:
    case Form::kKeptText: SetText(field, row.size, value); break;
    case Form::kInt: {
      const int32_t n = std::min(std::max(ToInt(value), row.low), row.high);
      std::memcpy(field, &n, sizeof n);
      break;
    }
    case Form::kByte: *field = static_cast<char>(ToInt(value) & 0xFF); break;
    case Form::kFlag: *field = ToInt(value) != 0 ? 1 : 0; break;
    case Form::kRatio: SetRatio(field, value); break;
    case Form::kWindowLoc: SetWindowLoc(value, loc, haveLoc); break;
    case Form::kMessages: SetMessage(field, key, value); break;
  }
}

void AppendLine(std::string& out, const char* key, const char* value, size_t length) {
  out.append(key);
  out.push_back(' ');
  out.append(value, length);
  out.push_back('\n');
}

// A text ends at its terminator, its capacity or a line feed, whichever comes first, so
// that every setting stays on its own line.
void AppendText(std::string& out, const char* key, const char* field, size_t capacity) {
  size_t n = 0;
  while (n + 1 < capacity && field[n] != '\0' && field[n] != '\n') ++n;
  AppendLine(out, key, field, n);
}

void AppendMessages(std::string& out, const char* messages) {
  for (int i = 0; i < kFKeyCount; ++i) {
    char key[16];
    std::snprintf(key, sizeof key, "msg%d", i);
    AppendText(out, key, messages + static_cast<size_t>(i) * kFKeyMessageSize, kFKeyMessageSize);
  }
}

// Every form but the texts is one number or four, written into `text`.
int FormatNumber(char* text, size_t capacity, const char* field, Form form, const WindowLoc& loc) {
  if (form == Form::kInt) {
    int32_t n = 0;
    std::memcpy(&n, field, sizeof n);
    return std::snprintf(text, capacity, "%d", static_cast<int>(n));
  }
  if (form == Form::kRatio) {
    double ratio = 0;
    std::memcpy(&ratio, field, sizeof ratio);
    return std::snprintf(text, capacity, "%.6f", ratio);
  }
  if (form == Form::kWindowLoc)
    return std::snprintf(text, capacity, "%d %d %d %d", static_cast<int>(loc.left), static_cast<int>(loc.top),
                         static_cast<int>(loc.right), static_cast<int>(loc.bottom));
  return std::snprintf(text, capacity, "%u", static_cast<unsigned>(static_cast<uint8_t>(*field)));  // byte, flag
}

void AppendValue(std::string& out, const Row& row, const char* field, const WindowLoc& loc) {
  if (row.form == Form::kKeptText) return;
  if (row.form == Form::kText) return AppendText(out, row.key, field, row.size);
  if (row.form == Form::kMessages) return AppendMessages(out, field);
  // Wide enough for any finite double with six decimals (about 320 characters).
  char text[400];
  const int n = FormatNumber(text, sizeof text, field, row.form, loc);
  AppendLine(out, row.key, text, n > 0 ? std::min(static_cast<size_t>(n), sizeof text - 1) : 0);
}

// The values the reading itself resets before it opens the file: the serial line,
// "ttyconnect", "ttydisconnect" and the Baudot option.
void ApplyReadDefaults(Settings& s) {
  SerialLine& line = s.serial;
  line.device = DeviceType::kNone;
  line.port = -1;
  line.baud = 9600;
  line.dataBits = 8;
  line.parity = 0;
  line.stopBits = StopBits::kOne;
  line.flow = kFlowRtsCts;
  line.xon = 0;
  line.tncEcho = 0;
  line.tncNewline = 0;
  s.options.baudot = 0;
  CopyText(s.connectScript, "Connect.scr");
  CopyText(s.disconnectScript, "Disconnect.scr");
}

}  // namespace

Settings DefaultSettings() {
  // Set field by field over zeros, so that two records of the same values are equal byte
  // for byte.
  Settings s;
  std::memset(&s, 0, sizeof s);
  s.options.lettersOnSpace = 1;
  s.options.diddle = 1;
  s.paneRatio = 0.5;
  s.look.background = 0xFFFFFF;
  s.look.border = 0xFFFFFF;
  s.look.typingText = 0xFF0000;
  s.look.receivedText = 0x009600;
  s.look.sentText = 0x0000FF;
  for (PaneFont* font : {&s.look.typingFont, &s.look.rxTxFont}) {
    CopyText(font->face, "Arial");
    font->size = 100;
    font->weight = 400;
  }
  s.fkeys = DefaultFKeySet();
  ApplyReadDefaults(s);
  return s;
}

void ForEachTextField(const Settings& s, const std::function<void(const char*, size_t)>& visit) {
  const char* record = reinterpret_cast<const char*>(&s);
  for (const Row& row : kRows) {
    if (IsText(row.form)) visit(record + row.offset, row.size);
    if (row.form != Form::kMessages) continue;
    for (int i = 0; i < kFKeyCount; ++i)
      visit(record + row.offset + static_cast<size_t>(i) * kFKeyMessageSize, kFKeyMessageSize);
  }
}

namespace {

// Takes one line of the file, changed in place: cleaned and split.
void ReadSettingsLine(Settings& s, char* line, WindowLoc* loc, bool* haveLoc) {
  CleanLine(line);
  char* blank = std::strchr(line, ' ');
  if (!blank) return;
  *blank = '\0';
  const char* value = blank + 1;
  while (*value == ' ') ++value;
  for (const Row& row : kRows) {
    if (!Matches(row, line)) continue;
    ReadValue(reinterpret_cast<char*>(&s) + row.offset, row, line, value, loc, haveLoc);
    return;
  }
}

}  // namespace

int ReadSettingsText(Settings& s, const char* data, size_t size, WindowLoc* loc, bool* haveLoc) {
  ForEachLine(data, size, [&](char* line) { ReadSettingsLine(s, line, loc, haveLoc); });
  return 0;
}

int ReadSettingsFile(Settings& s, const char* path, WindowLoc* loc, bool* haveLoc) {
  ApplyReadDefaults(s);
  // Binary, because a Windows text-mode read would stop at a Ctrl-Z byte; the carriage
  // returns it would have removed are blanks to CleanLine anyway.
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return 1;
  std::vector<char> data;
  char chunk[16384];
  bool overLimit = false;
  for (;;) {
    size_t got = std::fread(chunk, 1, sizeof chunk, file);
    if (got == 0) break;
    if (data.size() + got > kSettingsFileLimit) {
      got = kSettingsFileLimit - data.size();
      overLimit = true;
    }
    data.insert(data.end(), chunk, chunk + got);
    if (overLimit) break;
  }
  std::fclose(file);
  // A line cut by the limit could give a wrong number; keep only whole lines.
  if (overLimit) {
    while (!data.empty() && data.back() != '\n') data.pop_back();
  }
  ReadSettingsText(s, data.data(), data.size(), loc, haveLoc);
  return 0;
}

std::string FormatSettings(const Settings& s, const WindowLoc& loc) {
  std::string out;
  out.reserve(8192);
  const char* record = reinterpret_cast<const char*>(&s);
  for (const Row& row : kRows) AppendValue(out, row, record + row.offset, loc);
  return out;
}

bool WriteSettingsFile(const Settings& s, const WindowLoc& loc, const char* path) {
  return WriteFileReplacing(path, FormatSettings(s, loc));
}

}  // namespace zk
