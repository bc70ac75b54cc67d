#include "device/setup_rules.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "base/escapes.h"
#include "base/fixed_text.h"
#include "device/device_link.h"

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

template <size_t N>
void Take(char (&live)[N], const char (&page)[N]) { CopyText(live, page); }

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
  SerialPageControls c{};
  c.devtype = s.devtype >= kNoDevice && s.devtype <= kEngine ? s.devtype : kNoChoice;
  c.port = PositionOf(ports.data(), static_cast<int>(ports.size()), s.ttyport);
  c.baud = PositionOf(kBaudValues, kBaudEntries, s.ttybaud);
  const int32_t bits = s.ttybytesize - kFirstDataBits;
  c.dataBits = bits >= 0 && bits < kDataBitsEntries ? bits : kNoChoice;
  c.parity = PositionOf(kParityValues, kParityEntries, s.ttyparity);
  c.stopBits = PositionOf(kStopValues, kStopEntries, s.ttystop);
  c.flowDtrDsr = (s.ttyflow & 1) != 0;
  c.flowRtsCts = (s.ttyflow & 2) != 0;
  c.flowXonXoff = (s.ttyflow & 4) != 0;
  c.baudot = s.baudot != 0;
  c.ltrsonspace = s.ltrsonspace != 0;
  c.diddle = s.diddle != 0;
  c.pttcontrol = s.pttcontrol >= 0 && s.pttcontrol <= 2 ? s.pttcontrol : kNoChoice;
  c.pttms = s.pttms;
  return c;
}

void StoreSerialPage(const SerialPageControls& c, const std::vector<int32_t>& ports, Settings& s) {
  const int portCount = static_cast<int>(ports.size());
  s.ttyport = c.port >= 0 && c.port < portCount ? ports[static_cast<size_t>(c.port)] : 0;
  s.ttybaud = ValueAt(kBaudValues, kBaudEntries, c.baud);
  s.ttybytesize = (c.dataBits >= 0 && c.dataBits < kDataBitsEntries ? c.dataBits : -1) + kFirstDataBits;
  s.ttyparity = ValueAt(kParityValues, kParityEntries, c.parity) & 0xFF;
  s.ttystop = ValueAt(kStopValues, kStopEntries, c.stopBits) & 0xFF;
  s.ttyflow = (c.flowDtrDsr ? 1 : 0) + (c.flowRtsCts ? 2 : 0) + (c.flowXonXoff ? 4 : 0);
  s.ttytncecho = 0;
  s.ttytncnewline = 0;
  s.devtype = c.devtype >= kNoDevice && c.devtype <= kEngine ? c.devtype : kNoDevice;
  s.baudot = c.baudot ? 1 : 0;
  s.ltrsonspace = c.ltrsonspace ? 1 : 0;
  s.diddle = c.diddle ? 1 : 0;
  if (c.pttcontrol >= 0 && c.pttcontrol <= 2) s.pttcontrol = c.pttcontrol;
  s.pttms = c.pttms;
}

void TakeSerialLine(Settings& live, const Settings& page) {
  live.ttyport = page.ttyport;
  live.ttybaud = page.ttybaud;
  live.ttybytesize = page.ttybytesize;
  live.ttyparity = page.ttyparity;
  live.ttystop = page.ttystop;
  live.ttyflow = page.ttyflow;
  live.ttytncecho = page.ttytncecho;
  live.ttytncnewline = page.ttytncnewline;
  live.devtype = page.devtype;
}

void TakeSerialOptions(Settings& live, const Settings& page) {
  live.baudot = page.baudot;
  live.ltrsonspace = page.ltrsonspace;
  live.diddle = page.diddle;
  live.pttcontrol = page.pttcontrol;
  live.pttms = page.pttms;
}

void TakeTncStrings(Settings& live, const Settings& page) {
  Take(live.tncinit, page.tncinit);
  Take(live.tnctx, page.tnctx);
  Take(live.tncrx, page.tncrx);
  Take(live.command, page.command);
  Take(live.ignore, page.ignore);
  live.rxmodechar = page.rxmodechar;
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
  const int32_t type = after.devtype;
  const bool restart = link.hasPort && (after.ttyport != before.ttyport || type == kNoDevice || type == kEngine);
  bool running = link.running;
  if (before.devtype == kEngine) {
    if (type == kEngine) return steps;
    steps.insert(steps.end(), {DeviceStep::kEngineQuit, DeviceStep::kEnginePttOff, DeviceStep::kClose});
    running = false;
  }
  if (restart) {
    steps.push_back(DeviceStep::kReleasePtt);
    if (running) steps.push_back(DeviceStep::kClose);
    running = false;
  }
  if (type == kEngine) {
    steps.insert(steps.end(), {DeviceStep::kFlushQueue, DeviceStep::kOpen});
  } else if (type == kTerminalUnit || type == kTnc) {
    if (!running) steps.push_back(DeviceStep::kOpen);
    steps.insert(steps.end(), {DeviceStep::kSetLineFormat, DeviceStep::kReleasePtt});
    if (type == kTnc) steps.push_back(DeviceStep::kSendTncInit);
  }
  return steps;
}

}  // namespace zk
