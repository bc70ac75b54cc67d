// The engine program's settings, "zkmodem.ini" beside it: one setting a line, a key, a
// blank and the value, as in the terminal's own file. Every value is checked as it is
// read; one that is out of range or not understood leaves the setting as it was.
#pragma once
#include <cstddef>
#include <string>

#include "modem/demodulator.h"
#include "modem/modem_settings.h"

namespace zk {

enum class PttKind { kNone, kRts, kDtr, kRigctld };

struct EngineSettings {
  std::string inDevice;  // sound card names as Windows lists them; empty: the default one
  std::string outDevice;
  int sampleRate = 48000;  // of the sound cards (a file plays at its own rate)
  double baud = 45.45;
  double shift = 170;
  double mark = 2125;
  double stopBits = 1.5;
  bool reverse = false;
  bool afc = true;
  bool squelch = true;
  double squelchDb = DemodulatorOptions{}.squelchDb;  // the SNR (3 kHz) at which it opens
  int txLevel = 50;                                   // transmitted peak, percent of full scale
  PttKind ptt = PttKind::kNone;
  int pttPort = 1;  // COM1
  std::string rigctldHost = "127.0.0.1";
  int rigctldPort = 4532;
  std::string rxFile;               // when set, played into the receiver instead of the input device
  std::string txFile;               // when set, the transmitted audio is written here instead
  bool bandList = true;             // the window lists every signal in the passband
  int windowLoc[4] = {0, 0, 0, 0};  // left top right bottom; all 0 until the window is placed
};

// The squelch's opening level a setting may hold, in dB.
constexpr int kSquelchDbLow = -30;
constexpr int kSquelchDbHigh = 30;

// Longest device name, host name and path a setting keeps; longer values are refused.
constexpr size_t kEngineNameLimit = 63;
constexpr size_t kEnginePathLimit = 259;
constexpr size_t kEngineFileLimit = 64 * 1024;

// Sets one value given as it is written in the file; false when the key is unknown or
// the value is refused (the setting keeps its value).
bool SetEngineSetting(EngineSettings& s, const char* key, const char* value);

// Reads lines ("\n" ends one; a NUL ends its text) over the values `s` holds, then puts
// back the defaults of the tone settings if together they are not usable.
void ReadEngineSettingsText(EngineSettings& s, const char* data, size_t size);
// False when the file cannot be opened (the values stay); reads at most kEngineFileLimit.
bool ReadEngineSettingsFile(EngineSettings& s, const char* path);

std::string FormatEngineSettings(const EngineSettings& s);
// Through "<path>.tmp" moved over `path`; false when nothing was saved.
bool WriteEngineSettingsFile(const EngineSettings& s, const char* path);

// The tones and timing at a sample rate.
ModemSettings ModemSettingsOf(const EngineSettings& s, double sampleRate);
// Whether the tones fit at every rate the engine may run at.
bool TonesFit(const EngineSettings& s);

const char* PttKindName(PttKind kind);

}  // namespace zk
