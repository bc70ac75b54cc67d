#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/fixed_text.h"
#include "device/setup_rules.h"
#include "messages/fkey_file.h"
#include "settings/settings_file.h"
#include "textpane/font_height.h"

namespace zk {
namespace {

std::vector<int32_t> Ports(std::initializer_list<int32_t> above8) {
  std::vector<int32_t> ports{1, 2, 3, 4, 5, 6, 7, 8};
  ports.insert(ports.end(), above8);
  return ports;
}

TEST(SerialPage, PortListKeepsTheConfiguredPortAndSortsThePresentOnes) {
  EXPECT_EQ(PortListNumbers({12, 9, 12}, -1), Ports({9, 12}));
  EXPECT_EQ(PortListNumbers({12, 9}, 15), Ports({9, 12, 15}));
  EXPECT_EQ(PortListNumbers({12}, 10), Ports({10, 12}));
  EXPECT_EQ(PortListNumbers({9}, 9), Ports({9}));
  EXPECT_EQ(PortListNumbers({}, 3), Ports({}));
}

TEST(SerialPage, FillsAndStoresEveryControlAnd75Stores100) {
  Settings s = DefaultSettings();
  s.serial = SerialLine{DeviceType::kTnc, 15, 100, 5, 2, StopBits::kOneAndHalf, 5, 0, 1, 1};
  s.options = SerialOptions{1, 0, 0, PttLine::kDtr, -40};
  const std::vector<int32_t> ports = PortListNumbers({9, 12}, s.serial.port);
  const SerialPageControls c = FillSerialPage(s, ports);
  // Device, then positions of port (COM15), baud (the entry "75"), data bits, parity (Even), stop bits (1.5).
  EXPECT_EQ(std::vector<int>({c.device, c.port, c.baud, c.dataBits, c.parity, c.stopBits, c.ptt}),
            std::vector<int>({2, 10, 4, 0, 1, 1, 2}));
  EXPECT_TRUE(c.flowDtrDsr && !c.flowRtsCts && c.flowXonXoff && c.baudot && !c.lettersOnSpace && !c.diddle);
  Settings back = DefaultSettings();
  StoreSerialPage(c, ports, back);
  const std::string written = FormatSettings(s, WindowLoc{}), rewritten = FormatSettings(back, WindowLoc{});
  EXPECT_EQ(rewritten.substr(0, rewritten.find("winratio")),
            written.substr(0, written.find("ttytncecho")) + "ttytncecho 0\nttytncnewline 0\n");
}

TEST(SerialPage, ValuesNotListedShowNoChoiceAndStoreTheListsErrorValues) {
  Settings s = DefaultSettings();
  s.serial = SerialLine{static_cast<DeviceType>(4), -1, 75, 9, 7, static_cast<StopBits>(3), 2, 0, 0, 0};
  s.options.ptt = static_cast<PttLine>(5);
  const SerialPageControls c = FillSerialPage(s, Ports({}));
  for (int position : {c.port, c.baud, c.dataBits, c.parity, c.stopBits, c.ptt, c.device}) EXPECT_EQ(position, -1);
  StoreSerialPage(c, Ports({}), s);
  // Port, baud, data bits, parity, stop bits; no PTT button checked leaves the setting.
  const SerialLine& l = s.serial;
  EXPECT_EQ(std::vector<int32_t>({l.port, l.baud, l.dataBits, l.parity, static_cast<int32_t>(l.stopBits),
                                  static_cast<int32_t>(s.options.ptt), static_cast<int32_t>(l.device)}),
            std::vector<int32_t>({0, -1, 4, 255, 255, 5, 0}));
}

TEST(SerialPage, PttDelayIsAWholeNumberOf0To2000Ms) {
  const std::pair<const char*, int32_t> typed[] = {{"", 0},      {" 150 ", 150}, {"2000", 2000}, {"-20", -1},
                                                   {"2001", -1}, {"12x", -1},    {"x", -1}};
  for (const auto& [text, ms] : typed) {
    int32_t read = -1;
    EXPECT_EQ(ReadPttDelay(text, &read) ? read : -1, ms) << text;
  }
}

TEST(TncPage, ReceiveModeCharacterShownInHexAndTypedInTheEscapeNotation) {
  EXPECT_STREQ(FormatRxModeChar(3).text, "\\x03");
  EXPECT_STREQ(FormatRxModeChar(0xC8).text, "\\xc8");
  EXPECT_STREQ(FormatRxModeChar(0).text, "\\x00");
  const std::pair<const char*, int> typed[] = {{"\\c", 3},     {"\\x03", 3},    {"A", 'A'}, {"", 0},
                                               {"  xyz", 'x'}, {"\\XC8", 0xC8}, {"\\r", 13}};
  for (const auto& [text, byte] : typed) EXPECT_EQ(ParseRxModeChar(text), byte) << text;
  for (int b = 0; b < 256; ++b) ASSERT_EQ(ParseRxModeChar(FormatRxModeChar(static_cast<uint8_t>(b)).text), b);
}

TEST(DeviceChange, StepsFollowTheOldAndNewDeviceAndPort) {
  using S = DeviceStep;
  constexpr DeviceType kNoDevice = DeviceType::kNone, kTerminalUnit = DeviceType::kTerminalUnit,
                       kTnc = DeviceType::kTnc, kEngine = DeviceType::kEngine;
  const S title = S::kResetTitle, ptt = S::kReleasePtt, close = S::kClose, open = S::kOpen, line = S::kSetLineFormat,
          init = S::kSendTncInit;
  const LinkState running{true, true}, failed{true, false}, engine{false, true}, closed{false, false};
  const struct {
    DeviceType oldType;
    int32_t oldPort;
    DeviceType newType;
    int32_t newPort;
    LinkState link;
    std::vector<S> steps;
  } cases[] = {
      {kTerminalUnit, 5, kTerminalUnit, 5, running, {title, line, ptt}},
      {kTnc, 5, kTnc, 8, running, {title, ptt, close, open, line, ptt, init}},
      {kTerminalUnit, 5, kTnc, 5, running, {title, line, ptt, init}},
      {kTerminalUnit, 5, kNoDevice, 5, running, {title, ptt, close}},
      {kTnc, 5, kEngine, 5, running, {title, ptt, close, S::kFlushQueue, open}},
      {kTerminalUnit, 7, kTerminalUnit, 8, failed, {title, ptt, open, line, ptt}},
      {kNoDevice, -1, kTerminalUnit, 5, closed, {title, open, line, ptt}},
      {kNoDevice, -1, kNoDevice, 5, closed, {title}},
      {kNoDevice, 5, kEngine, 5, closed, {title, S::kFlushQueue, open}},
      {kEngine, 5, kEngine, 9, engine, {title}},
      {kEngine, 5, kNoDevice, 5, engine, {title, S::kEngineQuit, S::kEnginePttOff, close}},
      {kEngine, 5, kTnc, 5, engine, {title, S::kEngineQuit, S::kEnginePttOff, close, open, line, ptt, init}},
  };
  for (const auto& c : cases) {
    Settings before = DefaultSettings(), after = DefaultSettings();
    before.serial.device = c.oldType, before.serial.port = c.oldPort;
    after.serial.device = c.newType, after.serial.port = c.newPort;
    EXPECT_EQ(PlanDeviceChange(before, after, c.link), c.steps)
        << static_cast<int>(c.oldType) << " on " << c.oldPort << " to " << static_cast<int>(c.newType) << " on "
        << c.newPort;
  }
}

TEST(SetupPages, FileDialogStartAndFontDialogHeight) {
  char path[16];
  FileDialogStart(path, sizeof path, "C:\\zk", "*.rtm");
  EXPECT_STREQ(path, "C:\\zk\\*.rtm");
  FileDialogStart(path, sizeof path, "C:\\a\\long\\folder", "*.rty");
  EXPECT_STREQ(path, "*.rty") << "a start that does not fit falls back to the pattern";
  const std::pair<const char*, const char*> named[] = {{"C:\\zk\\keys", "C:\\zk\\keys.txt"},
                                                       {"C:\\zk\\keys.rtm", "C:\\zk\\keys.rtm"},
                                                       {"C:\\v1.0\\keys", "C:\\v1.0\\keys.txt"},
                                                       {"C:\\zk\\", "C:\\zk\\"},
                                                       {"C:\\zk\\a1234567", "C:\\zk\\a1234567"}};
  for (const auto& [chosen, used] : named) {
    char name[18];
    CopyText(name, chosen);
    AddDefaultExtension(name, sizeof name, "txt");
    EXPECT_STREQ(name, used) << "a name without an extension gets one when it fits";
  }
  EXPECT_EQ(FontDialogHeight(100, 96), -13);
  EXPECT_EQ(FontDialogHeight(240, 96), -32);
  EXPECT_EQ(FontDialogHeight(95, 120), -15);
}

}  // namespace
}  // namespace zk
