#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "base/fixed_text.h"
#include "settings/settings_file.h"

namespace zk {
namespace {

namespace fs = std::filesystem;

Settings Read(const std::string& text, WindowLoc* loc = nullptr, bool* haveLoc = nullptr) {
  Settings s = DefaultSettings();
  ReadSettingsText(s, text.data(), text.size(), loc, haveLoc);
  return s;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
    lines.push_back(text.substr(start, nl - start));
  EXPECT_EQ(start, text.size()) << "text after the last line end";
  return lines;
}

const WindowLoc kLoc{0, 0, 656, 372};

// The value written for `key` by FormatSettings, or "(none)".
std::string Written(const Settings& s, const std::string& key) {
  for (const std::string& line : Lines(FormatSettings(s, kLoc)))
    if (line.compare(0, key.size() + 1, key + " ") == 0) return line.substr(key.size() + 1);
  return "(none)";
}

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Spit(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

struct TempDir {
  fs::path path;
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "zk_settings_XXXXXX").string();
    path = mkdtemp(pattern.data());
  }
  ~TempDir() { fs::remove_all(path); }
};

const char kDefaultFile[] =
    "mycall \nbaudot 0\nltrsonspace 1\ndiddle 1\npttcontrol 0\ndevtype 0\npttms 0\n"
    "ttyport -1\nttybytesize 8\nttyportnumber -1\nttybaud 9600\nttystop 0\nttyparity 0\n"
    "ttyflow 2\nttyxon 0\nttytncecho 0\nttytncnewline 0\nwinratio 0.500000\n"
    "windowloc 0 0 656 372\ntncinit \ntncrx \ntnctx \ncommand \nrxmodechar 0\n"
    "bgcolour 16777215\nbordercolour 16777215\nfgaprep 16711680\nfgarx 38400\nfgatx 255\n"
    "prepfontface Arial\nprepfontpoints 100\nprepfontweight 400\nprepfonitalic 0\n"
    "rxtxfontface Arial\nrxtxfontpoints 100\nrxtxfontweight 400\nrxtxfonitalic 0\n"
    "ignore \nrepeatfkey 0\nrepeatsec 0\nhisrstformat \nexchangeformat \n"
    "msg0 <F1  CQ> -\\tcq cq cq de (MYCALL) (MYCALL) (MYCALL) k\r\\s\n"
    "msg1 <F2  My call> (mycall)\nmsg2 \n"
    "msg3 <F4  TU> -\\t(HISCALL) tu (HISRST) (HISRST) (MYCALL)\\s\n"
    "msg4 <F5  Exchange> (hiscall) de (mycall)\nmsg5 \nmsg6 \nmsg7 \nmsg8 \n";

// Every key with a value other than its default, in the fixed order. Numbers that need
// care: a ratio with six decimals, a window left of the screen, a colour above 2^31
// (written negative) and bytes of 200 and 255.
const char kUnusualFile[] =
    "mycall W1AW/P\nbaudot 1\nltrsonspace 0\ndiddle 0\npttcontrol 2\ndevtype 3\npttms 150\n"
    "ttyport 12\nttybytesize 5\nttyportnumber 12\nttybaud 45\nttystop 1\nttyparity 4\n"
    "ttyflow 5\nttyxon -7\nttytncecho 1\nttytncnewline 1\nwinratio 0.333333\n"
    "windowloc -8 20 1200 900\ntncinit \\r\\nMODE RTTY  ECHO OFF\ntncrx \\x03R\ntnctx \\x03T\n"
    "command cmd:\nrxmodechar 200\nbgcolour 1193046\nbordercolour -16777215\nfgaprep 1\n"
    "fgarx 2\nfgatx 0\nprepfontface Courier New\nprepfontpoints 120\nprepfontweight 700\n"
    "prepfonitalic 1\nrxtxfontface Lucida Console\nrxtxfontpoints 85\nrxtxfontweight 300\n"
    "rxtxfonitalic 255\nignore ~\nrepeatfkey 9\nrepeatsec 30\nhisrstformat %03d\n"
    "exchangeformat (HISRST) NR 001\nmsg0 <F1  CQ> cq  de\\s\nmsg1 one\nmsg2 two\nmsg3 three\n"
    "msg4 four\nmsg5 five\nmsg6 six\nmsg7 seven\nmsg8 eight\n";

// The record of kUnusualFile, every field set by its own name.
Settings Unusual() {
  Settings s = DefaultSettings();
  SerialLine& l = s.serial;
  SerialOptions& o = s.options;
  TncStrings& t = s.tnc;
  PaneLook& k = s.look;
  CopyText(s.myCall, "W1AW/P");
  o.baudot = 1, o.lettersOnSpace = 0, o.diddle = 0, o.ptt = PttLine::kDtr, o.pttDelayMs = 150;
  l.device = DeviceType::kEngine, l.port = 12, l.dataBits = 5, l.baud = 45, l.stopBits = StopBits::kOneAndHalf;
  l.parity = 4, l.flow = kFlowDtrDsr | kFlowXonXoff, l.xon = -7, l.tncEcho = 1, l.tncNewline = 1;
  s.paneRatio = 0.333333;
  CopyText(t.init, "\\r\\nMODE RTTY  ECHO OFF"), CopyText(t.receive, "\\x03R"), CopyText(t.transmit, "\\x03T");
  CopyText(t.command, "cmd:"), t.receiveModeChar = 200, CopyText(t.ignore, "~");
  k.background = 1193046, k.border = 0xFF000001, k.typingText = 1, k.receivedText = 2, k.sentText = 0;
  CopyText(k.typingFont.face, "Courier New"), k.typingFont.size = 120, k.typingFont.weight = 700;
  CopyText(k.rxTxFont.face, "Lucida Console"), k.rxTxFont.size = 85, k.rxTxFont.weight = 300;
  k.typingFont.italic = 1, k.rxTxFont.italic = 255;
  s.fkeys.repeatKey = 9, s.fkeys.repeatSeconds = 30;
  CopyText(s.fkeys.hisRstFormat, "%03d"), CopyText(s.fkeys.exchangeFormat, "(HISRST) NR 001");
  const char* messages[] = {"<F1  CQ> cq  de\\s", "one", "two", "three", "four", "five", "six", "seven", "eight"};
  for (int i = 0; i < kFKeyCount; ++i) CopyText(s.fkeys.messages[i], messages[i]);
  return s;
}

TEST(SettingsFile, DefaultsAndEveryKeyRoundTripInTheFixedOrder) {
  EXPECT_EQ(FormatSettings(DefaultSettings(), kLoc), kDefaultFile);
  EXPECT_STREQ(DefaultSettings().connectScript, "Connect.scr");
  EXPECT_STREQ(DefaultSettings().disconnectScript, "Disconnect.scr");

  const std::vector<std::string> lines = Lines(kUnusualFile), defaults = Lines(kDefaultFile);
  ASSERT_EQ(lines.size(), defaults.size());
  for (size_t i = 0; i < lines.size(); ++i) EXPECT_NE(lines[i], defaults[i]) << "line " << i << " tests no other value";
  // Every field is written under its own key and read back into the same field: a value
  // landing in the wrong field, lost on the way or spilling over shows up.
  const Settings unusual = Unusual();
  EXPECT_EQ(FormatSettings(unusual, WindowLoc{-8, 20, 1200, 900}), kUnusualFile);
  WindowLoc loc{};
  bool haveLoc = false;
  const Settings s = Read(kUnusualFile, &loc, &haveLoc);
  EXPECT_EQ(std::memcmp(&s, &unusual, sizeof s), 0) << "the file read back is not the record written";
  EXPECT_TRUE(haveLoc);
  EXPECT_EQ(std::make_tuple(loc.left, loc.top, loc.right, loc.bottom), std::make_tuple(-8, 20, 1200, 900));
}

TEST(SettingsFile, ReadingLinesNumbersAndTexts) {
  // Text past the 999th character is still part of the same value, not a line of its own.
  const std::string longLine = "tncinit " + std::string(991, 'a') + "ttybaud 45" + std::string(3000, 'b');
  const struct {
    std::string text, key, written;
  } cases[] = {
      {"mycall AB   \r\n", "mycall", "AB"},
      {"mycall W1AW\nmycall\nmycall    \r\n", "mycall", "W1AW"},  // a key without a value is skipped
      {"mycall\tK1ABC\n", "mycall", "K1ABC"},
      {"MYCALL K1ABC\nMyCall K1ABC\n", "mycall", ""},
      {" mycall K1ABC\n", "mycall", ""},  // empty key
      {"msg2     cq  de   me \n", "msg2", "cq  de   me"},
      {"ttybaud 50\nttystop 2", "ttystop", "2"},                          // the last line needs no line end
      {std::string("mycall AB\0CD\nttybaud 300\n", 25), "mycall", "AB"},  // a NUL ends its line only
      {std::string("mycall AB\0CD\nttybaud 300\n", 25), "ttybaud", "300"},
      {longLine + "\nmycall K1ABC\n", "ttybaud", "9600"},
      {longLine + "\nmycall K1ABC\n", "mycall", "K1ABC"},
      {"ttyport 3\nttyportnumber 4\n", "ttyport", "4"},
      {"ttyport 3\nttyportnumber 4\n", "ttyportnumber", "4"},
      {"msgx letter\n", "msg0", "letter"},
      {"msg08 eight\n", "msg8", "eight"},
      {"command a" + std::string(30, ' ') + "b\n", "command", "a"},  // the cut keeps no blanks
      {"ttybaud -45x\n", "ttybaud", "-45"},
      {"ttybaud 9600\nttybaud abc\n", "ttybaud", "0"},
      {"pttms 99999999999\n", "pttms", "2000"},  // the PTT delay is held within 0 to 2000 ms
      {"pttms -99999999999999999999999\n", "pttms", "0"},
      {"rxmodechar 300\n", "rxmodechar", "44"},
      {"rxmodechar -1\n", "rxmodechar", "255"},
      {"ttytncecho 256\n", "ttytncecho", "1"},
      {"winratio bad\n", "winratio", "0.000000"},
      {"winratio 0.75\nwinratio nan\nwinratio inf\nwinratio -INFINITY\nwinratio 1e999\n", "winratio",
       "0.750000"},  // a ratio that is no finite number leaves the one before
  };
  for (const auto& c : cases) EXPECT_EQ(Written(Read(c.text), c.key), c.written) << c.text;

  // Long values are cut to their fields.
  const std::pair<const char*, size_t> fields[] = {
      {"mycall", 50},        {"tncinit", 500},        {"tncrx", 100},       {"tnctx", 100},
      {"command", 25},       {"prepfontface", 50},    {"rxtxfontface", 50}, {"ignore", 10},
      {"hisrstformat", 200}, {"exchangeformat", 200}, {"msg5", 500},
  };
  for (const auto& f : fields) {
    const Settings s = Read(std::string(f.first) + " " + std::string(f.second + 20, 'x') + "\n");
    EXPECT_EQ(Written(s, f.first), std::string(f.second - 1, 'x')) << f.first;
  }
  // Message keys out of range change nothing at all, not even bytes past a terminator.
  const Settings untouched = DefaultSettings(), s = Read("msg9 nine\nmsg-1 minus\nmsg99999999999 big\n");
  EXPECT_EQ(std::memcmp(&s, &untouched, sizeof s), 0);
}

TEST(SettingsFile, WindowPlaceAndTheKeysNeverWritten) {
  WindowLoc loc{1, 2, 3, 4};
  bool haveLoc = false;
  Read("windowloc 100 50 600\nwindowloc 100 50 x 450\n", &loc, &haveLoc);
  EXPECT_FALSE(haveLoc);  // short windowloc lines are skipped
  EXPECT_EQ(loc.right, 3);
  Read("windowloc 100  50 600 450\n", &loc, &haveLoc);
  EXPECT_TRUE(haveLoc);
  EXPECT_EQ(std::make_tuple(loc.left, loc.top, loc.right, loc.bottom), std::make_tuple(100, 50, 600, 450));

  Settings s = Read("ttyconnect " + std::string(300, 'c') + "\nttydisconnect Bye.scr\n");
  EXPECT_EQ(std::string(s.connectScript), std::string(259, 'c'));
  EXPECT_STREQ(s.disconnectScript, "Bye.scr");
  EXPECT_EQ(FormatSettings(s, kLoc), kDefaultFile);

  // The writer keeps one line per key whatever the fields hold.
  s = DefaultSettings();
  std::memset(s.myCall, 'A', sizeof s.myCall);  // no terminator
  CopyText(s.fkeys.messages[3], "first\nttybaud 45");
  const std::string text = FormatSettings(s, kLoc);
  ASSERT_EQ(Lines(text).size(), 51u);
  EXPECT_EQ(Written(s, "mycall"), std::string(49, 'A'));
  EXPECT_EQ(Written(s, "msg3"), "first");
  EXPECT_EQ(Read(text).serial.baud, 9600);
}

TEST(SettingsFile, FileReadAppliesReadDefaultsAndStopsAtTheLimitWriteReplacesWhole) {
  TempDir dir;
  const fs::path file = dir.path / "Zktty.ini";
  Settings s = DefaultSettings();
  s.serial.baud = 45, s.serial.device = DeviceType::kTnc, s.options.baudot = 1, s.serial.flow = kFlowXonXoff;
  CopyText(s.myCall, "KEEP");
  CopyText(s.connectScript, "x");
  EXPECT_EQ(ReadSettingsFile(s, file.c_str(), nullptr, nullptr), 1);  // missing
  EXPECT_EQ(std::make_tuple(s.serial.baud, s.serial.device, s.options.baudot, s.serial.flow),
            std::make_tuple(9600, DeviceType::kNone, 0, 2));
  EXPECT_STREQ(s.connectScript, "Connect.scr");
  EXPECT_STREQ(s.myCall, "KEEP");  // not one of the read defaults

  std::string text = "ttybaud 300\n";
  const std::string filler = "# " + std::string(97, '.') + "\n";
  while (text.size() + filler.size() + 2 <= kSettingsFileLimit - 10) text += filler;
  text += "#" + std::string(kSettingsFileLimit - 10 - text.size() - 2, '.') + "\n";
  text += "pttms 123456789\n";  // the limit cuts it after "pttms 1234"
  text += "ttyflow 4\n";
  Spit(file, text);
  s = DefaultSettings();
  EXPECT_EQ(ReadSettingsFile(s, file.c_str(), nullptr, nullptr), 0);
  EXPECT_EQ(std::make_tuple(s.serial.baud, s.options.pttDelayMs, s.serial.flow), std::make_tuple(300, 0, 2));

  const Settings unusual = Read(kUnusualFile);
  ASSERT_TRUE(WriteSettingsFile(unusual, kLoc, file.c_str()));  // over the longer file
  EXPECT_EQ(Slurp(file), FormatSettings(unusual, kLoc));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
  EXPECT_FALSE(WriteSettingsFile(unusual, kLoc, (dir.path / "no" / "Zktty.ini").c_str()));
  EXPECT_FALSE(fs::exists(dir.path / "no"));
}

}  // namespace
}  // namespace zk
