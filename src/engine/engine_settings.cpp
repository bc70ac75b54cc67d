#include "engine/engine_settings.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/clean_line.h"
#include "base/replace_file.h"

namespace zk {
namespace {

const char* const kPttNames[] = {"none", "rts", "dtr", "rigctld"};

bool Is(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

// The whole text must be a number in [low, high].
bool Number(const char* text, double low, double high, double* value) {
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || errno != 0 || !(v >= low && v <= high)) return false;
  *value = v;
  return true;
}

bool Set(const char* text, double low, double high, double* field) { return Number(text, low, high, field); }

bool Set(const char* text, int low, int high, int* field) {
  double v = 0;
  if (!Number(text, low, high, &v) || v != std::floor(v)) return false;
  *field = static_cast<int>(v);
  return true;
}

bool Set(const char* text, bool* field) {
  if (!Is(text, "0") && !Is(text, "1")) return false;
  *field = Is(text, "1");
  return true;
}

bool Set(const char* text, size_t limit, std::string* field) {
  if (std::strlen(text) > limit) return false;
  *field = text;
  return true;
}

bool SetStop(const char* text, double* field) {
  double v = 0;
  if (!Number(text, 1, 2, &v) || (v != 1 && v != 1.5 && v != 2)) return false;
  *field = v;
  return true;
}

bool SetPtt(const char* text, PttKind* field) {
  for (size_t i = 0; i < sizeof kPttNames / sizeof *kPttNames; ++i) {
    if (Is(text, kPttNames[i])) {
      *field = static_cast<PttKind>(i);
      return true;
    }
  }
  return false;
}

// "COM3" or "3".
bool SetPort(const char* text, int* field) {
  if ((text[0] == 'C' || text[0] == 'c') && (text[1] == 'O' || text[1] == 'o') && (text[2] == 'M' || text[2] == 'm'))
    text += 3;
  return Set(text, 1, 255, field);
}

// A host name is one word.
bool SetHost(const char* text, std::string* field) {
  if (*text == '\0' || std::strchr(text, ' ')) return false;
  return Set(text, kEngineNameLimit, field);
}

bool SetWindowLoc(const char* text, int (&loc)[4]) {
  int parts[4];
  const char* at = text;
  for (int& part : parts) {
    char* end = nullptr;
    const long v = std::strtol(at, &end, 10);
    if (end == at || v < -100000 || v > 100000) return false;
    part = static_cast<int>(v);
    at = end;
  }
  std::memcpy(loc, parts, sizeof parts);
  return true;
}

// Within the ranges each value is read in, any baud rate and shift fit with the default
// mark, so the mark is what goes back.
void KeepTonesUsable(EngineSettings& s) {
  if (!TonesFit(s)) s.mark = EngineSettings{}.mark;
}

void Line(std::string& out, const char* key, const std::string& value) {
  out.append(key).append(" ").append(value).append("\n");
}

std::string Decimal(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", v);
  return text;
}

}  // namespace

bool SetEngineSetting(EngineSettings& s, const char* key, const char* v) {
  if (Is(key, "indevice")) return Set(v, kEngineNameLimit, &s.inDevice);
  if (Is(key, "outdevice")) return Set(v, kEngineNameLimit, &s.outDevice);
  if (Is(key, "samplerate")) return Set(v, 8000, 48000, &s.sampleRate);
  if (Is(key, "baud")) return Set(v, 20.0, 150.0, &s.baud);
  if (Is(key, "shift")) return Set(v, 20.0, 1000.0, &s.shift);
  if (Is(key, "mark")) return Set(v, 100.0, 3500.0, &s.mark);
  if (Is(key, "stopbits")) return SetStop(v, &s.stopBits);
  if (Is(key, "reverse")) return Set(v, &s.reverse);
  if (Is(key, "afc")) return Set(v, &s.afc);
  if (Is(key, "squelch")) return Set(v, &s.squelch);
  if (Is(key, "squelchdb")) return Set(v, kSquelchDbLow, kSquelchDbHigh, &s.squelchDb);
  if (Is(key, "txlevel")) return Set(v, 1, 100, &s.txLevel);
  if (Is(key, "ptt")) return SetPtt(v, &s.ptt);
  if (Is(key, "pttport")) return SetPort(v, &s.pttPort);
  if (Is(key, "rigctldhost")) return SetHost(v, &s.rigctldHost);
  if (Is(key, "rigctldport")) return Set(v, 1, 65535, &s.rigctldPort);
  if (Is(key, "rxfile")) return Set(v, kEnginePathLimit, &s.rxFile);
  if (Is(key, "txfile")) return Set(v, kEnginePathLimit, &s.txFile);
  if (Is(key, "bandlist")) return Set(v, &s.bandList);
  if (Is(key, "windowloc")) return SetWindowLoc(v, s.windowLoc);
  return false;
}

void ReadEngineSettingsText(EngineSettings& s, const char* data, size_t size) {
  ForEachLine(data, size, [&](char* line) {
    CleanLine(line);
    char* blank = std::strchr(line, ' ');
    if (!blank) {
      // A key alone empties a text value ("rxfile" with nothing after it).
      SetEngineSetting(s, line, "");
      return;
    }
    *blank = '\0';
    const char* value = blank + 1;
    while (*value == ' ') ++value;
    SetEngineSetting(s, line, value);
  });
  KeepTonesUsable(s);
}

bool ReadEngineSettingsFile(EngineSettings& s, const char* path) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  std::vector<char> data(kEngineFileLimit);
  data.resize(std::fread(data.data(), 1, data.size(), file));
  std::fclose(file);
  // A line cut by the limit could give a wrong value: only whole lines count.
  if (data.size() == kEngineFileLimit)
    while (!data.empty() && data.back() != '\n') data.pop_back();
  ReadEngineSettingsText(s, data.data(), data.size());
  return true;
}

std::string FormatEngineSettings(const EngineSettings& s) {
  std::string out;
  Line(out, "indevice", s.inDevice);
  Line(out, "outdevice", s.outDevice);
  Line(out, "samplerate", std::to_string(s.sampleRate));
  Line(out, "baud", Decimal(s.baud));
  Line(out, "shift", Decimal(s.shift));
  Line(out, "mark", Decimal(s.mark));
  Line(out, "stopbits", Decimal(s.stopBits));
  Line(out, "reverse", s.reverse ? "1" : "0");
  Line(out, "afc", s.afc ? "1" : "0");
  Line(out, "squelch", s.squelch ? "1" : "0");
  Line(out, "squelchdb", Decimal(s.squelchDb));
  Line(out, "txlevel", std::to_string(s.txLevel));
  Line(out, "ptt", PttKindName(s.ptt));
  Line(out, "pttport", "COM" + std::to_string(s.pttPort));
  Line(out, "rigctldhost", s.rigctldHost);
  Line(out, "rigctldport", std::to_string(s.rigctldPort));
  Line(out, "rxfile", s.rxFile);
  Line(out, "txfile", s.txFile);
  Line(out, "bandlist", s.bandList ? "1" : "0");
  const int* w = s.windowLoc;
  Line(out, "windowloc",
       std::to_string(w[0]) + " " + std::to_string(w[1]) + " " + std::to_string(w[2]) + " " + std::to_string(w[3]));
  return out;
}

bool WriteEngineSettingsFile(const EngineSettings& s, const char* path) {
  return WriteFileReplacing(path, FormatEngineSettings(s));
}

ModemSettings ModemSettingsOf(const EngineSettings& s, double sampleRate) {
  ModemSettings m;
  m.sampleRate = sampleRate;
  m.baud = s.baud;
  m.shift = s.shift;
  m.mark = s.mark;
  m.stopBits = s.stopBits;
  m.reverse = s.reverse;
  return m;
}

// The strictest rate a file may play at: tones that fit there fit everywhere.
bool TonesFit(const EngineSettings& s) { return CheckModemSettings(ModemSettingsOf(s, 8000)).empty(); }

const char* PttKindName(PttKind kind) { return kPttNames[static_cast<int>(kind)]; }

}  // namespace zk
