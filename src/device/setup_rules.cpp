#include "device/setup_rules.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "base/escapes.h"
#include "base/fixed_text.h"

namespace zk {

const int32_t kBaudValues[kBaudEntries] = {45,   50,   57,   74,   100,   110,   300,   600,
                                           1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000};
const int32_t kParityValues[kParityEntries] = {0, 2, 1, 3, 4};
const int32_t kStopValues[kStopEntries] = {0, 1, 2};

namespace {

constexpr int kNoChoice = -1;

// The value of a list entry, or what the list control reports without a choice (-1).
int32_t ValueAt(const int32_t* values, int count, int position) {
  return position >= 0 && position < count ? values[position] : -1;
}

bool IsDeviceType(DeviceType type) { return type >= DeviceType::kNone && type <= DeviceType::kEngine; }

// The PTT buttons: not used, RTS, DTR.
bool IsPttChoice(int choice) { return choice >= 0 && choice <= static_cast<int>(PttLine::kDtr); }

}  // namespace

std::vector<int32_t> PortListNumbers(std::vector<int32_t> presentAbove8, int32_t configured) {
  std::vector<int32_t> ports;
  for (int32_t n = 1; n <= kListedPorts; ++n) ports.push_back(n);
  if (configured > kListedPorts) presentAbove8.push_back(configured);
  std::sort(presentAbove8.begin(), presentAbove8.end());
  presentAbove8.erase(std::unique(presentAbove8.begin(), presentAbove8.end()), presentAbove8.end());
  for (int32_t n : presentAbove8)
    if (n > kListedPorts) ports.push_back(n);
  return ports;
}

int PositionOf(const int32_t* values, int count, int32_t value) {
  for (int i = 0; i < count; ++i)
    if (values[i] == value) return i;
  return kNoChoice;
}

SerialPageControls FillSerialPage(const Settings& s, const std::vector<int32_t>& ports) {
  const SerialLine& line = s.serial;
  const SerialOptions& options = s.options;
  SerialPageControls c{};
  c.device = IsDeviceType(line.device) ? static_cast<int>(line.device) : kNoChoice;
  c.port = PositionOf(ports.data(), static_cast<int>(ports.size()), line.port);
  c.baud = PositionOf(kBaudValues, kBaudEntries, line.baud);
  const int32_t bits = line.dataBits - kFirstDataBits;
  c.dataBits = bits >= 0 && bits < kDataBitsEntries ? bits : kNoChoice;
  c.parity = PositionOf(kParityValues, kParityEntries, line.parity);
  c.stopBits = PositionOf(kStopValues, kStopEntries, static_cast<int32_t>(line.stopBits));
  c.flowDtrDsr = (line.flow & kFlowDtrDsr) != 0;
  c.flowRtsCts = (line.flow & kFlowRtsCts) != 0;
  c.flowXonXoff = (line.flow & kFlowXonXoff) != 0;
  c.baudot = options.baudot != 0;
  c.lettersOnSpace = options.lettersOnSpace != 0;
  c.diddle = options.diddle != 0;
  c.ptt = IsPttChoice(static_cast<int>(options.ptt)) ? static_cast<int>(options.ptt) : kNoChoice;
  c.pttDelayMs = options.pttDelayMs;
  return c;
}

void StoreSerialPage(const SerialPageControls& c, const std::vector<int32_t>& ports, Settings& s) {
  SerialLine& line = s.serial;
  SerialOptions& options = s.options;
  const int portCount = static_cast<int>(ports.size());
  line.port = c.port >= 0 && c.port < portCount ? ports[static_cast<size_t>(c.port)] : 0;
  line.baud = ValueAt(kBaudValues, kBaudEntries, c.baud);
  line.dataBits = (c.dataBits >= 0 && c.dataBits < kDataBitsEntries ? c.dataBits : -1) + kFirstDataBits;
  line.parity = ValueAt(kParityValues, kParityEntries, c.parity) & 0xFF;
  line.stopBits = static_cast<StopBits>(ValueAt(kStopValues, kStopEntries, c.stopBits) & 0xFF);
  line.flow = (c.flowDtrDsr ? kFlowDtrDsr : 0) | (c.flowRtsCts ? kFlowRtsCts : 0) | (c.flowXonXoff ? kFlowXonXoff : 0);
  line.tncEcho = 0;
  line.tncNewline = 0;
  line.device = c.device >= 0 && c.device <= static_cast<int>(DeviceType::kEngine) ? static_cast<DeviceType>(c.device)
                                                                                   : DeviceType::kNone;
  options.baudot = c.baudot ? 1 : 0;
  options.lettersOnSpace = c.lettersOnSpace ? 1 : 0;
  options.diddle = c.diddle ? 1 : 0;
  if (IsPttChoice(c.ptt)) options.ptt = static_cast<PttLine>(c.ptt);
  options.pttDelayMs = c.pttDelayMs;
}

bool ReadPttDelay(const char* typed, int32_t* ms) {
  while (*typed == ' ') ++typed;
  char* end = nullptr;
  const long value = *typed == '\0' ? 0 : std::strtol(typed, &end, 10);
  if (end == typed) return false;
  while (end && *end == ' ') ++end;
  if ((end && *end != '\0') || value < 0 || value > kMaxPttMs) return false;
  *ms = static_cast<int32_t>(value);
  return true;
}

RxModeText FormatRxModeChar(uint8_t c) {
  RxModeText shown{};
  std::snprintf(shown.text, sizeof shown.text, "\\x%02x", static_cast<unsigned>(c));
  return shown;
}

uint8_t ParseRxModeChar(const char* typed) {
  char field[25];
  CopyText(field, typed);
  char parsed[32];
  ParseEscapes(parsed, sizeof parsed, field, EscapeContext{}, nullptr);
  return static_cast<uint8_t>(parsed[0]);
}

std::vector<DeviceStep> PlanDeviceChange(const Settings& before, const Settings& after, LinkState link) {
  std::vector<DeviceStep> steps{DeviceStep::kResetTitle};
  const DeviceType type = after.serial.device;
  const bool restart = link.hasPort && (after.serial.port != before.serial.port || type == DeviceType::kNone ||
                                        type == DeviceType::kEngine);
  bool running = link.running;
  if (before.serial.device == DeviceType::kEngine) {
    if (type == DeviceType::kEngine) return steps;
    steps.insert(steps.end(), {DeviceStep::kEngineQuit, DeviceStep::kEnginePttOff, DeviceStep::kClose});
    running = false;
  }
  if (restart) {
    steps.push_back(DeviceStep::kReleasePtt);
    if (running) steps.push_back(DeviceStep::kClose);
    running = false;
  }
  if (type == DeviceType::kEngine) {
    steps.insert(steps.end(), {DeviceStep::kFlushQueue, DeviceStep::kOpen});
  } else if (type == DeviceType::kTerminalUnit || type == DeviceType::kTnc) {
    if (!running) steps.push_back(DeviceStep::kOpen);
    steps.insert(steps.end(), {DeviceStep::kSetLineFormat, DeviceStep::kReleasePtt});
    if (type == DeviceType::kTnc) steps.push_back(DeviceStep::kSendTncInit);
  }
  return steps;
}

}  // namespace zk
