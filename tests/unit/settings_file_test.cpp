#include <gtest/gtest.h>

#include <stdlib.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/fixed_text.h"
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

std::string Slurp(const fs::path& path) {
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    std::fclose(f);
  }
  return text;
}

void Spit(const fs::path& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

struct TempDir {
  fs::path path;
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "zk_settings_XXXXXX").string();
    path = mkdtemp(pattern.data());
  }
  ~TempDir() { fs::remove_all(path); }
};

const WindowLoc kLoc{0, 0, 656, 372};

TEST(SettingsFile, DefaultsFileOnFirstWrite) {
  const std::string expected =
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
  EXPECT_EQ(FormatSettings(DefaultSettings(), kLoc), expected);
  EXPECT_STREQ(DefaultSettings().ttyconnect, "Connect.scr");
  EXPECT_STREQ(DefaultSettings().ttydisconnect, "Disconnect.scr");
}

Settings Unusual() {
  Settings s = DefaultSettings();
  CopyText(s.mycall, "W1AW/P");
  s.baudot = 1; s.ltrsonspace = 0; s.diddle = 0; s.pttcontrol = 2; s.devtype = 3;
  s.pttms = 150; s.ttyport = 12; s.ttybytesize = 5; s.ttybaud = 45; s.ttystop = 1;
  s.ttyparity = 4; s.ttyflow = 5; s.ttyxon = -7; s.ttytncecho = 1; s.ttytncnewline = 1;
  s.winratio = 0.333333;
  CopyText(s.tncinit, "\\r\\nMODE RTTY  ECHO OFF");
  CopyText(s.tncrx, "\\x03R");
  CopyText(s.tnctx, "\\x03T");
  CopyText(s.command, "cmd:");
  s.rxmodechar = 200;
  s.bgcolour = 0x123456; s.bordercolour = 0xFF000001u;  // above 2^31: written negative
  s.fgaprep = 1; s.fgarx = 2; s.fgatx = 0;
  s.prepfont = {"Courier New", 120, 700, 1};
  s.rxtxfont = {"Lucida Console", 85, 300, 255};
  CopyText(s.ignore, "~");
  s.fkeys.repeatfkey = 9; s.fkeys.repeatsec = 30;
  CopyText(s.fkeys.hisrstformat, "%03d");
  CopyText(s.fkeys.exchangeformat, "(HISRST) NR 001");
  for (int i = 0; i < kFKeyCount; ++i)
    std::snprintf(s.fkeys.messages[i], kFKeyMessageSize, "<F%d  Key %d> text  with\\s", i + 1, i);
  return s;
}

TEST(SettingsFile, EveryKeyRoundTripsInTheFixedOrder) {
  const Settings original = Unusual();
  const WindowLoc loc{-8, 20, 1200, 900};
  const std::string text = FormatSettings(original, loc);
  const char* keys[] = {
      "mycall", "baudot", "ltrsonspace", "diddle", "pttcontrol", "devtype", "pttms",
      "ttyport", "ttybytesize", "ttyportnumber", "ttybaud", "ttystop", "ttyparity",
      "ttyflow", "ttyxon", "ttytncecho", "ttytncnewline", "winratio", "windowloc",
      "tncinit", "tncrx", "tnctx", "command", "rxmodechar", "bgcolour", "bordercolour",
      "fgaprep", "fgarx", "fgatx", "prepfontface", "prepfontpoints", "prepfontweight",
      "prepfonitalic", "rxtxfontface", "rxtxfontpoints", "rxtxfontweight", "rxtxfonitalic",
      "ignore", "repeatfkey", "repeatsec", "hisrstformat", "exchangeformat", "msg0", "msg1",
      "msg2", "msg3", "msg4", "msg5", "msg6", "msg7", "msg8"};
  const std::vector<std::string> lines = Lines(text);
  ASSERT_EQ(lines.size(), 51u);
  for (size_t i = 0; i < lines.size(); ++i)
    EXPECT_EQ(lines[i].substr(0, lines[i].find(' ')), keys[i]) << "line " << i;
  EXPECT_EQ(lines[17], "winratio 0.333333");
  EXPECT_EQ(lines[18], "windowloc -8 20 1200 900");
  EXPECT_EQ(lines[23], "rxmodechar 200");
  EXPECT_EQ(lines[25], "bordercolour -16777215");
  EXPECT_EQ(lines[36], "rxtxfonitalic 255");

  // Every written field comes back: a value landing in the wrong field or lost on the
  // way shows up as a different file.
  WindowLoc back{};
  bool haveLoc = false;
  EXPECT_EQ(FormatSettings(Read(text, &back, &haveLoc), back), text);
  EXPECT_TRUE(haveLoc);
}

TEST(SettingsFile, LineSplittingEdgeCases) {
  EXPECT_STREQ(Read("mycall AB   \r\n").mycall, "AB");
  EXPECT_STREQ(Read("mycall W1AW\nmycall\nmycall    \r\n").mycall, "W1AW");
  EXPECT_STREQ(Read("mycall\tK1ABC\n").mycall, "K1ABC");
  EXPECT_STREQ(Read("MYCALL K1ABC\nMyCall K1ABC\n").mycall, "");
  EXPECT_STREQ(Read("msg2     cq  de   me \n").fkeys.messages[2], "cq  de   me");
  EXPECT_STREQ(Read(" mycall K1ABC\n").mycall, "");  // empty key
  // Either line end, and a last line without one.
  Settings s = Read("ttybaud 50\r\nttyflow 4\nttystop 2");
  EXPECT_EQ(s.ttybaud, 50);
  EXPECT_EQ(s.ttyflow, 4);
  EXPECT_EQ(s.ttystop, 2);
  // A NUL ends its own line only.
  const char withNul[] = "mycall AB\0CD\nttybaud 300\n";
  s = DefaultSettings();
  ReadSettingsText(s, withNul, sizeof withNul - 1, nullptr, nullptr);
  EXPECT_STREQ(s.mycall, "AB");
  EXPECT_EQ(s.ttybaud, 300);
}

TEST(SettingsFile, PortWindowAndUnwrittenKeys) {
  Settings s = Read("ttyport 3\nttyportnumber 4\n");
  EXPECT_EQ(s.ttyport, 4);
  const std::string text = FormatSettings(s, kLoc);
  EXPECT_NE(text.find("\nttyport 4\n"), std::string::npos);
  EXPECT_NE(text.find("\nttyportnumber 4\n"), std::string::npos);

  WindowLoc loc{1, 2, 3, 4};
  bool haveLoc = false;
  Read("windowloc 100  50 600 450\n", &loc, &haveLoc);
  EXPECT_TRUE(haveLoc);
  EXPECT_EQ(loc.left, 100); EXPECT_EQ(loc.top, 50);
  EXPECT_EQ(loc.right - loc.left, 500); EXPECT_EQ(loc.bottom - loc.top, 400);
  loc = {1, 2, 3, 4};
  haveLoc = false;
  Read("windowloc 100 50 600\nwindowloc 100 50 x 450\n", &loc, &haveLoc);
  EXPECT_FALSE(haveLoc);
  EXPECT_EQ(loc.right, 3);
  Read("windowloc 1 2 3 4\n");  // no place to put it: ignored, no crash

  s = Read("ttyconnect My.scr\nttydisconnect Bye.scr\n");
  EXPECT_STREQ(s.ttyconnect, "My.scr");
  EXPECT_STREQ(s.ttydisconnect, "Bye.scr");
  EXPECT_EQ(FormatSettings(s, kLoc).find("ttyconnect"), std::string::npos);
  EXPECT_EQ(FormatSettings(s, kLoc).find("ttydisconnect"), std::string::npos);

  // An empty text goes out as key and blank and leaves the default on the next read.
  s = DefaultSettings();
  s.prepfont.face[0] = '\0';
  const std::string emptyFace = FormatSettings(s, kLoc);
  EXPECT_NE(emptyFace.find("\nprepfontface \n"), std::string::npos);
  EXPECT_STREQ(Read(emptyFace).prepfont.face, "Arial");
}

TEST(SettingsFile, NumberForms) {
  EXPECT_EQ(Read("ttybaud -45x\n").ttybaud, -45);
  EXPECT_EQ(Read("ttybaud +110\n").ttybaud, 110);
  EXPECT_EQ(Read("ttybaud 9600\nttybaud abc\n").ttybaud, 0);
  EXPECT_EQ(Read("pttms 99999999999\n").pttms, INT32_MAX);
  EXPECT_EQ(Read("pttms -99999999999999999999999\n").pttms, INT32_MIN);
  EXPECT_EQ(Read("rxmodechar 300\n").rxmodechar, 44);
  EXPECT_EQ(Read("rxmodechar -1\n").rxmodechar, 255);
  EXPECT_EQ(Read("prepfonitalic 257\n").prepfont.italic, 1);
  EXPECT_EQ(Read("ttytncecho 256\n").ttytncecho, 1);
  EXPECT_EQ(Read("ttytncnewline -3\n").ttytncnewline, 1);
  EXPECT_EQ(Read("ttytncecho 1\nttytncecho 0\n").ttytncecho, 0);
  EXPECT_EQ(Read("bgcolour -1\n").bgcolour, 0xFFFFFFFFu);
  EXPECT_EQ(Read("winratio 0.25\n").winratio, 0.25);
  EXPECT_EQ(Read("winratio bad\n").winratio, 0.0);
  for (const char* bad : {"nan", "inf", "-INFINITY", "1e999"})
    EXPECT_EQ(Read(std::string("winratio 0.75\nwinratio ") + bad + "\n").winratio, 0.75) << bad;
}

TEST(SettingsFile, LongValuesAreCutToTheirFields) {
  struct Field { const char* key; size_t capacity; const char* (*get)(const Settings&); };
  const Field fields[] = {
      {"mycall", 50, [](const Settings& s) -> const char* { return s.mycall; }},
      {"tncinit", 500, [](const Settings& s) -> const char* { return s.tncinit; }},
      {"tncrx", 100, [](const Settings& s) -> const char* { return s.tncrx; }},
      {"tnctx", 100, [](const Settings& s) -> const char* { return s.tnctx; }},
      {"command", 25, [](const Settings& s) -> const char* { return s.command; }},
      {"prepfontface", 50, [](const Settings& s) -> const char* { return s.prepfont.face; }},
      {"rxtxfontface", 50, [](const Settings& s) -> const char* { return s.rxtxfont.face; }},
      {"ignore", 10, [](const Settings& s) -> const char* { return s.ignore; }},
      {"hisrstformat", 200, [](const Settings& s) -> const char* { return s.fkeys.hisrstformat; }},
      {"exchangeformat", 200,
       [](const Settings& s) -> const char* { return s.fkeys.exchangeformat; }},
      {"msg5", 500, [](const Settings& s) -> const char* { return s.fkeys.messages[5]; }},
      {"ttyconnect", 260, [](const Settings& s) -> const char* { return s.ttyconnect; }},
      {"ttydisconnect", 260, [](const Settings& s) -> const char* { return s.ttydisconnect; }},
  };
  for (const Field& f : fields) {
    const Settings s = Read(std::string(f.key) + " " + std::string(f.capacity + 20, 'x') + "\n");
    EXPECT_EQ(std::string(f.get(s)), std::string(f.capacity - 1, 'x')) << f.key;
  }
  // A cut that ends in blanks keeps only what the next read would keep.
  EXPECT_STREQ(Read("command a" + std::string(30, ' ') + "b\n").command, "a");
}

TEST(SettingsFile, MessageKeys) {
  // Nothing at all may change, including the fields stored after the messages.
  EXPECT_EQ(FormatSettings(Read("msg9 nine\nmsg-1 minus\nmsg99999999999 big\n"), kLoc),
            FormatSettings(DefaultSettings(), kLoc));
  EXPECT_STREQ(Read("msg alone\n").fkeys.messages[0], "alone");
  EXPECT_STREQ(Read("msgx letter\n").fkeys.messages[0], "letter");
  EXPECT_STREQ(Read("msg08 eight\n").fkeys.messages[8], "eight");
}

TEST(SettingsFile, LongLinesAreReadWhole) {
  const std::string msg(480, 'm');
  Settings s = Read("msg0 " + msg + "\nttybaud 300\n");
  EXPECT_EQ(std::string(s.fkeys.messages[0]), msg);
  EXPECT_EQ(s.ttybaud, 300);
  // Text past the 999th character is still part of the same value, not a line of its own.
  std::string line = "tncinit ";
  line += std::string(999 - line.size(), 'a') + "ttybaud 45" + std::string(3000, 'b');
  s = Read(line + "\nmycall K1ABC\n");
  EXPECT_EQ(s.ttybaud, 9600);
  EXPECT_EQ(std::strlen(s.tncinit), 499u);
  EXPECT_STREQ(s.mycall, "K1ABC");
}

TEST(SettingsFile, WriterKeepsOneLinePerKey) {
  Settings s = DefaultSettings();
  std::memset(s.mycall, 'A', sizeof s.mycall);  // no terminator
  CopyText(s.fkeys.messages[3], "first\nttybaud 45");
  const std::string text = FormatSettings(s, kLoc);
  const std::vector<std::string> lines = Lines(text);
  ASSERT_EQ(lines.size(), 51u);
  EXPECT_EQ(lines[0], "mycall " + std::string(49, 'A'));
  EXPECT_EQ(lines[45], "msg3 first");
  EXPECT_EQ(Read(text).ttybaud, 9600);
}

TEST(SettingsFile, ReadFileAppliesReadDefaultsFirst) {
  TempDir dir;
  Settings s = DefaultSettings();
  s.ttybaud = 45; s.devtype = 2; s.baudot = 1;
  CopyText(s.mycall, "KEEP");
  CopyText(s.ttyconnect, "x");
  EXPECT_EQ(ReadSettingsFile(s, (dir.path / "missing.ini").c_str(), nullptr, nullptr), 1);
  EXPECT_EQ(s.ttybaud, 9600); EXPECT_EQ(s.devtype, 0); EXPECT_EQ(s.baudot, 0);
  EXPECT_STREQ(s.ttyconnect, "Connect.scr");
  EXPECT_STREQ(s.mycall, "KEEP");  // not one of the read defaults

  Spit(dir.path / "Zktty.ini", "devtype 1\r\nmycall W1AW\r\n");
  s.ttyflow = 4;
  EXPECT_EQ(ReadSettingsFile(s, (dir.path / "Zktty.ini").c_str(), nullptr, nullptr), 0);
  EXPECT_EQ(s.devtype, 1); EXPECT_EQ(s.ttyflow, 2);
  EXPECT_STREQ(s.mycall, "W1AW");
}

TEST(SettingsFile, OversizedFileIsReadOnlyToTheLimit) {
  TempDir dir;
  std::string text = "ttybaud 300\n";
  const std::string filler = "# " + std::string(97, '.') + "\n";
  while (text.size() + filler.size() + 2 <= kSettingsFileLimit - 10) text += filler;
  text += "#" + std::string(kSettingsFileLimit - 10 - text.size() - 2, '.') + "\n";
  text += "pttms 123456789\n";  // the limit cuts it after "pttms 1234"
  text += "ttyflow 4\n";
  Spit(dir.path / "big.ini", text);
  Settings s = DefaultSettings();
  EXPECT_EQ(ReadSettingsFile(s, (dir.path / "big.ini").c_str(), nullptr, nullptr), 0);
  EXPECT_EQ(s.ttybaud, 300);
  EXPECT_EQ(s.pttms, 0);
  EXPECT_EQ(s.ttyflow, 2);
}

TEST(SettingsFile, WriteReplacesTheFileAndLeavesNoTemporary) {
  TempDir dir;
  const fs::path target = dir.path / "Zktty.ini";
  Spit(target, std::string(20000, 'z'));
  const Settings original = Unusual();
  const WindowLoc loc{100, 50, 600, 450};
  ASSERT_TRUE(WriteSettingsFile(original, loc, target.c_str()));
  EXPECT_EQ(Slurp(target), FormatSettings(original, loc));
  EXPECT_FALSE(fs::exists(dir.path / "Zktty.ini.tmp"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);

  Settings back = DefaultSettings();
  WindowLoc backLoc{};
  bool haveLoc = false;
  EXPECT_EQ(ReadSettingsFile(back, target.c_str(), &backLoc, &haveLoc), 0);
  EXPECT_TRUE(haveLoc);
  EXPECT_EQ(FormatSettings(back, backLoc), FormatSettings(original, loc));

  EXPECT_FALSE(WriteSettingsFile(original, loc, (dir.path / "no" / "Zktty.ini").c_str()));
  EXPECT_FALSE(fs::exists(dir.path / "no"));
}

}  // namespace
}  // namespace zk
