// The Settings record: every value of "Zktty.ini", in the groups that the setup pages edit
// and the program takes whole.
#pragma once
#include <cstdint>

#include "messages/fkey_set.h"
#include "textpane/pane_look.h"

namespace zk {

// The radio device the program works with.
enum class DeviceType : int32_t { kNone = 0, kTerminalUnit = 1, kTnc = 2, kEngine = 3 };

// The serial control line that keys the transmitter.
enum class PttLine : int32_t { kNone = 0, kRts = 1, kDtr = 2 };

// Stop bits as the serial driver codes them.
enum class StopBits : int32_t { kOne = 0, kOneAndHalf = 1, kTwo = 2 };

// Flow control, as bits of SerialLine::flow.
enum FlowBits : int32_t { kFlowDtrDsr = 1, kFlowRtsCts = 2, kFlowXonXoff = 4 };

// The port, its line format and the device on it: what a change of device works with.
// The enumerations may hold a value the file gave that names none of their choices.
struct SerialLine {
  DeviceType device;
  int32_t port;  // the port is "COM" and this number
  int32_t baud;
  int32_t dataBits;
  int32_t parity;  // the serial driver's code: 0 none, 1 odd, 2 even, 3 mark, 4 space
  StopBits stopBits;
  int32_t flow;        // FlowBits
  int32_t xon;         // kept for the file; nothing acts on it
  uint8_t tncEcho;     // kept for the file; the serial port page clears it
  uint8_t tncNewline;  // likewise
};

// How the line is worked: Baudot coding, idle characters and the transmitter's keying.
struct SerialOptions {
  int32_t baudot;          // "Use BAUDOT encoding"
  int32_t lettersOnSpace;  // "Switch to letters if space"
  int32_t diddle;          // "Use DIDDLE": idle characters while transmitting
  PttLine ptt;
  int32_t pttDelayMs;  // 0 to kMaxPttMs
};

// What the TNC page edits: the TNC's command strings in the escape notation, its command
// prompt and receive-mode character, and the character message files send as a blank.
struct TncStrings {
  char init[500];  // sent at start-up
  char transmit[100];
  char receive[100];
  char command[25];
  uint8_t receiveModeChar;
  char ignore[10];
};

// Every value that "Zktty.ini" carries. Colours are 0x00BBGGRR.
struct Settings {
  char myCall[50];
  SerialLine serial;
  SerialOptions options;
  TncStrings tnc;
  double paneRatio;  // share of the pane area for the receive/transmit pane
  PaneLook look;
  FKeySet fkeys;
  char connectScript[260];     // read, kept, never written
  char disconnectScript[260];  // likewise
};

// The PTT delay lies within 0 to this many milliseconds.
constexpr int32_t kMaxPttMs = 2000;

// The main window's outer rectangle in screen coordinates ("windowloc").
struct WindowLoc {
  int32_t left, top, right, bottom;
};

}  // namespace zk
