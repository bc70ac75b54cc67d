// The rules of the serial port and TNC pages of the setup sheet that need no window:
// what each list holds, how the controls are filled from the settings and stored back,
// the TNC's receive-mode character as shown and as typed, and what a change of device
// asks of the running link.
#pragma once
#include <cstdint>
#include <vector>

#include "settings/settings.h"

namespace zk {

// The lists' values in the order of their entries (the entries' texts are string
// resources: baud 800 to 815, parity 816 to 820, stop bits 832 to 834).
constexpr int kBaudEntries = 16;
extern const int32_t kBaudValues[kBaudEntries];  // the entry "75" stores 100
constexpr int kParityEntries = 5;
extern const int32_t kParityValues[kParityEntries];  // None, Even, Odd, Mark, Space
constexpr int kStopEntries = 3;
extern const int32_t kStopValues[kStopEntries];  // 1, 1.5, 2
constexpr int kDataBitsEntries = 4;              // 5 to 8
constexpr int32_t kFirstDataBits = 5;
constexpr int kListedPorts = 8;  // COM1 to COM8 are always listed

// The port numbers of the port list: 1 to 8, then the ports above 8 that exist, with the
// configured port among them when it is above 8 and missing, so that it is never lost.
std::vector<int32_t> PortListNumbers(std::vector<int32_t> presentAbove8, int32_t configured);

// Position of `value` among `count` values; -1 when it is not there.
int PositionOf(const int32_t* values, int count, int32_t value);

// What the serial port page's controls hold. A list position or a radio choice is -1
// when nothing is chosen.
struct SerialPageControls {
  int device;
  int port, baud, dataBits, parity, stopBits;
  bool flowDtrDsr, flowRtsCts, flowXonXoff;
  bool baudot, lettersOnSpace, diddle;
  int ptt;
  int32_t pttDelayMs;
};

SerialPageControls FillSerialPage(const Settings& s, const std::vector<int32_t>& ports);
// A list without a choice stores what the list control reports then: port 0, data bits
// 4, baud -1, parity and stop bits 255. A PTT choice of none leaves the PTT line.
void StoreSerialPage(const SerialPageControls& c, const std::vector<int32_t>& ports, Settings& s);

// The PTT delay as typed: a blank field is 0; false for anything but a whole number of
// 0 to kMaxPttMs milliseconds.
bool ReadPttDelay(const char* typed, int32_t* ms);

// The receive-mode character as the TNC page shows it: "\x" and two lower-case hex digits.
struct RxModeText {
  char text[5];
};
RxModeText FormatRxModeChar(uint8_t c);
// The first byte the escape notation makes of what was typed; 0 (none) for an empty field.
uint8_t ParseRxModeChar(const char* typed);

// What the running link must do, in order, when the serial port page is confirmed.
enum class DeviceStep : uint8_t {
  kResetTitle,    // the main window's title back to "Zktty" (leaves a direct-mode title)
  kEngineQuit,    // the engine is told (2, 0)
  kEnginePttOff,  // PTT released while the device still reads as the engine: "pttoff"
  kReleasePtt,
  kClose,
  kFlushQueue,
  kOpen,           // for the engine, this starts it
  kSetLineFormat,  // the new line format on the open port
  kSendTncInit,
};

struct LinkState {
  bool hasPort;  // a serial port object exists
  bool running;  // the link's threads run
};

// The steps for going from `before` to `after` (port and device type are compared); the
// same device type on the same port is never restarted, and the engine kept is left alone.
std::vector<DeviceStep> PlanDeviceChange(const Settings& before, const Settings& after, LinkState link);

}  // namespace zk
