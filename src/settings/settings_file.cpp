#include "settings/settings_file.h"

#include <algorithm>
#include <cmath>
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

bool Is(const char* key, const char* name) { return std::strcmp(key, name) == 0; }

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

uint8_t LowByte(const char* text) { return static_cast<uint8_t>(ToInt(text) & 0xFF); }

uint32_t ToColour(const char* text) { return static_cast<uint32_t>(ToInt(text)); }

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

template <size_t N>
void SetText(char (&field)[N], const char* value) { SetText(field, N, value); }

// A ratio that is not a finite number would wreck the pane layout, so it is refused.
void SetRatio(double* ratio, const char* text) {
  char* stop = nullptr;
  double value = std::strtod(text, &stop);
  if (stop == text) value = 0.0;
  if (std::isfinite(value)) *ratio = value;
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
void SetMessage(Settings& s, const char* key, const char* value) {
  int32_t index = ToInt(key + 3);
  if (index < 0 || index >= kFKeyCount) return;
  SetText(s.fkeys.messages[index], kFKeyMessageSize, value);
}

void AppendLine(std::string& out, const char* key, const char* value) {
  out.append(key);
  out.push_back(' ');
  out.append(value);
  out.push_back('\n');
}

void AppendInt(std::string& out, const char* key, int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
  AppendLine(out, key, text);
}

void AppendColour(std::string& out, const char* key, uint32_t value) {
  AppendInt(out, key, static_cast<int32_t>(value));
}

void AppendByte(std::string& out, const char* key, uint8_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(value));
  AppendLine(out, key, text);
}

void AppendRatio(std::string& out, const char* key, double value) {
  // Wide enough for any finite double with six decimals (about 320 characters).
  char text[400];
  std::snprintf(text, sizeof text, "%.6f", value);
  AppendLine(out, key, text);
}

void AppendWindowLoc(std::string& out, const char* key, const WindowLoc& loc) {
  char text[48];
  std::snprintf(text, sizeof text, "%d %d %d %d", static_cast<int>(loc.left),
                static_cast<int>(loc.top), static_cast<int>(loc.right),
                static_cast<int>(loc.bottom));
  AppendLine(out, key, text);
}

// A text ends at its terminator, its capacity or a line feed, whichever comes first, so
// that every setting stays on its own line.
void AppendText(std::string& out, const char* key, const char* field, size_t capacity) {
  size_t n = 0;
  while (n + 1 < capacity && field[n] != '\0' && field[n] != '\n') ++n;
  out.append(key);
  out.push_back(' ');
  out.append(field, n);
  out.push_back('\n');
}

template <size_t N>
void AppendText(std::string& out, const char* key, const char (&field)[N]) {
  AppendText(out, key, field, N);
}

}  // namespace

Settings DefaultSettings() {
  Settings s;
  std::memset(&s, 0, sizeof s);
  s.ltrsonspace = 1;
  s.diddle = 1;
  s.winratio = 0.5;
  s.bgcolour = 0xFFFFFF;
  s.bordercolour = 0xFFFFFF;
  s.fgaprep = 0xFF0000;
  s.fgarx = 0x009600;
  s.fgatx = 0x0000FF;
  for (PaneFont* font : {&s.prepfont, &s.rxtxfont}) {
    CopyText(font->face, "Arial");
    font->size = 100;
    font->weight = 400;
    font->italic = 0;
  }
  s.fkeys = DefaultFKeySet();
  ApplyReadDefaults(s);
  return s;
}

void ApplyReadDefaults(Settings& s) {
  s.ttyport = -1;
  s.ttybaud = 9600;
  s.ttystop = 0;
  s.ttyparity = 0;
  s.ttyflow = 2;
  s.ttyxon = 0;
  s.ttybytesize = 8;
  s.ttytncecho = 0;
  s.ttytncnewline = 0;
  CopyText(s.ttyconnect, "Connect.scr");
  CopyText(s.ttydisconnect, "Disconnect.scr");
  s.baudot = 0;
  s.devtype = 0;
}

void ReadSettingsLine(Settings& s, char* line, WindowLoc* loc, bool* haveLoc) {
  CleanLine(line);
  char* blank = std::strchr(line, ' ');
  if (!blank) return;
  *blank = '\0';
  const char* key = line;
  const char* v = blank + 1;
  while (*v == ' ') ++v;

  if (Is(key, "ttyconnect")) SetText(s.ttyconnect, v);
  else if (Is(key, "ttydisconnect")) SetText(s.ttydisconnect, v);
  else if (Is(key, "ttyport")) s.ttyport = ToInt(v);
  else if (Is(key, "ttyportnumber")) s.ttyport = ToInt(v);
  else if (Is(key, "ttybaud")) s.ttybaud = ToInt(v);
  else if (Is(key, "ttystop")) s.ttystop = ToInt(v);
  else if (Is(key, "ttyparity")) s.ttyparity = ToInt(v);
  else if (Is(key, "ttyflow")) s.ttyflow = ToInt(v);
  else if (Is(key, "ttyxon")) s.ttyxon = ToInt(v);
  else if (Is(key, "ttybytesize")) s.ttybytesize = ToInt(v);
  else if (Is(key, "ttytncecho")) s.ttytncecho = ToInt(v) != 0 ? 1 : 0;
  else if (Is(key, "ttytncnewline")) s.ttytncnewline = ToInt(v) != 0 ? 1 : 0;
  else if (Is(key, "winratio")) SetRatio(&s.winratio, v);
  else if (Is(key, "windowloc")) SetWindowLoc(v, loc, haveLoc);
  else if (Is(key, "baudot")) s.baudot = ToInt(v);
  else if (Is(key, "ltrsonspace")) s.ltrsonspace = ToInt(v);
  else if (Is(key, "diddle")) s.diddle = ToInt(v);
  else if (Is(key, "devtype")) s.devtype = ToInt(v);
  else if (Is(key, "pttcontrol")) s.pttcontrol = ToInt(v);
  else if (Is(key, "pttms")) s.pttms = std::min(std::max(ToInt(v), 0), kMaxPttMs);
  else if (Is(key, "tncinit")) SetText(s.tncinit, v);
  else if (Is(key, "tncrx")) SetText(s.tncrx, v);
  else if (Is(key, "tnctx")) SetText(s.tnctx, v);
  else if (Is(key, "command")) SetText(s.command, v);
  else if (Is(key, "rxmodechar")) s.rxmodechar = LowByte(v);
  else if (Is(key, "mycall")) SetText(s.mycall, v);
  else if (Is(key, "bgcolour")) s.bgcolour = ToColour(v);
  else if (Is(key, "bordercolour")) s.bordercolour = ToColour(v);
  else if (Is(key, "fgaprep")) s.fgaprep = ToColour(v);
  else if (Is(key, "fgarx")) s.fgarx = ToColour(v);
  else if (Is(key, "fgatx")) s.fgatx = ToColour(v);
  else if (std::strncmp(key, "msg", 3) == 0) SetMessage(s, key, v);
  else if (Is(key, "prepfontface")) SetText(s.prepfont.face, v);
  else if (Is(key, "prepfontpoints")) s.prepfont.size = ToInt(v);
  else if (Is(key, "prepfontweight")) s.prepfont.weight = ToInt(v);
  else if (Is(key, "prepfonitalic")) s.prepfont.italic = LowByte(v);
  else if (Is(key, "rxtxfontface")) SetText(s.rxtxfont.face, v);
  else if (Is(key, "rxtxfontpoints")) s.rxtxfont.size = ToInt(v);
  else if (Is(key, "rxtxfontweight")) s.rxtxfont.weight = ToInt(v);
  else if (Is(key, "rxtxfonitalic")) s.rxtxfont.italic = LowByte(v);
  else if (Is(key, "ignore")) SetText(s.ignore, v);
  else if (Is(key, "repeatfkey")) s.fkeys.repeatfkey = ToInt(v);
  else if (Is(key, "repeatsec")) s.fkeys.repeatsec = ToInt(v);
  else if (Is(key, "hisrstformat")) SetText(s.fkeys.hisrstformat, v);
  else if (Is(key, "exchangeformat")) SetText(s.fkeys.exchangeformat, v);
}

int ReadSettingsText(Settings& s, const char* data, size_t size, WindowLoc* loc,
                     bool* haveLoc) {
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
  AppendText(out, "mycall", s.mycall);
  AppendInt(out, "baudot", s.baudot);
  AppendInt(out, "ltrsonspace", s.ltrsonspace);
  AppendInt(out, "diddle", s.diddle);
  AppendInt(out, "pttcontrol", s.pttcontrol);
  AppendInt(out, "devtype", s.devtype);
  AppendInt(out, "pttms", s.pttms);
  AppendInt(out, "ttyport", s.ttyport);
  AppendInt(out, "ttybytesize", s.ttybytesize);
  AppendInt(out, "ttyportnumber", s.ttyport);
  AppendInt(out, "ttybaud", s.ttybaud);
  AppendInt(out, "ttystop", s.ttystop);
  AppendInt(out, "ttyparity", s.ttyparity);
  AppendInt(out, "ttyflow", s.ttyflow);
  AppendInt(out, "ttyxon", s.ttyxon);
  AppendByte(out, "ttytncecho", s.ttytncecho);
  AppendByte(out, "ttytncnewline", s.ttytncnewline);
  AppendRatio(out, "winratio", s.winratio);
  AppendWindowLoc(out, "windowloc", loc);
  AppendText(out, "tncinit", s.tncinit);
  AppendText(out, "tncrx", s.tncrx);
  AppendText(out, "tnctx", s.tnctx);
  AppendText(out, "command", s.command);
  AppendByte(out, "rxmodechar", s.rxmodechar);
  AppendColour(out, "bgcolour", s.bgcolour);
  AppendColour(out, "bordercolour", s.bordercolour);
  AppendColour(out, "fgaprep", s.fgaprep);
  AppendColour(out, "fgarx", s.fgarx);
  AppendColour(out, "fgatx", s.fgatx);
  AppendText(out, "prepfontface", s.prepfont.face);
  AppendInt(out, "prepfontpoints", s.prepfont.size);
  AppendInt(out, "prepfontweight", s.prepfont.weight);
  AppendByte(out, "prepfonitalic", s.prepfont.italic);
  AppendText(out, "rxtxfontface", s.rxtxfont.face);
  AppendInt(out, "rxtxfontpoints", s.rxtxfont.size);
  AppendInt(out, "rxtxfontweight", s.rxtxfont.weight);
  AppendByte(out, "rxtxfonitalic", s.rxtxfont.italic);
  AppendText(out, "ignore", s.ignore);
  AppendInt(out, "repeatfkey", s.fkeys.repeatfkey);
  AppendInt(out, "repeatsec", s.fkeys.repeatsec);
  AppendText(out, "hisrstformat", s.fkeys.hisrstformat);
  AppendText(out, "exchangeformat", s.fkeys.exchangeformat);
  for (int i = 0; i < kFKeyCount; ++i) {
    char key[16];
    std::snprintf(key, sizeof key, "msg%d", i);
    AppendText(out, key, s.fkeys.messages[i]);
  }
  return out;
}

bool WriteSettingsFile(const Settings& s, const WindowLoc& loc, const char* path) {
  return WriteFileReplacing(path, FormatSettings(s, loc));
}

}  // namespace zk
