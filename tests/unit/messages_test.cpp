// Function-key messages: composing them, their file and the auto-repeat.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "messages/auto_repeat.h"
#include "messages/compose.h"
#include "messages/fkey_file.h"
#include "messages/fkey_set.h"

namespace zk {
namespace {

// The fuzz target checks both writers at every cut; these read the whole result.
std::string Report(const char* hisRst, const char* format) {
  char out[200];
  ApplyReportFormat(out, sizeof out, hisRst, format);
  return out;
}

// mycall, Call box, report given, report received, and the two report formats.
MacroValues Station() { return {"W1AW", "DL1ABC", "599 005", "579", "", "#2/#1"}; }

std::string Expand(const char* in, const MacroValues& v, bool* log = nullptr, size_t cap = 400) {
  std::string out(cap, '\0');
  bool flag = false;
  ExpandMacros(in, &out[0], cap, v, log ? log : &flag);
  return out.c_str();
}

ComposeContext Context(bool transmitting = false) {
  ComposeContext c;
  c.macros = Station();
  c.startDirectory = "C:\\Zktty";
  c.transmitting = transmitting;
  c.readFile = [](const char*, std::string&) { return FileRead::kNothing; };
  return c;
}

TEST(ComposeReportFormat, PicksWordsAndRemainder) {
  const char* const cases[][3] = {
      {"599 005", "", "599 005"},
      {"599 005", "#1 #2 #2", "599 005 005"},
      {"599 005", "<#2>", "599 005"},  // a single '#' is no format
      {"599 005", "#1 #9", "599 "},    // token 7 was never made
      {"599 005", "## #a", ""},        // two '#' without a marker
      {"599  005 x", "#1|#2", "599| 005 x"},
      {"a b c d e f g h", "#1#7", "ag h"},
      {"a b c d e f g h", "#6.#3", "f g h.c"},
      {"599", "#1 #3 #0 #", "599  599 #"},
  };
  for (const auto& c : cases) EXPECT_EQ(Report(c[0], c[1]), c[2]) << c[0] << " / " << c[1];
}

TEST(ComposeMacros, ReplacesTheFiveMacrosInAnyCase) {
  MacroValues v = Station();
  EXPECT_EQ(Expand("(mycall) de (MyCall)", v), "W1AW de W1AW");
  EXPECT_EQ(Expand("(HISCALL) (hisrst) (EXCHANGEONLY) (myrst)", v), "DL1ABC 599 005 005/599 579");
  EXPECT_EQ(Expand("(QTH) (MYCALL (HISRST", v), "(QTH) (MYCALL (HISRST");
  v.myCall = "(MYCALL)";  // replacement text is not scanned again
  const std::string call = " x" + std::string(120, 'y');
  v.callBox = call.c_str();
  EXPECT_EQ(Expand("(mycall)(hiscall)", v), "(MYCALL)" + call.substr(0, 99));

  bool log = false;  // the log mark is dropped and reported, even past the cut
  EXPECT_EQ(Expand("tu\x01 (HISCALL)", Station(), &log), "tu DL1ABC");
  EXPECT_TRUE(log);
  EXPECT_EQ(Expand("tu", Station(), &log), "tu");
  EXPECT_FALSE(log);
  EXPECT_EQ(Expand("(MYCALL) (HISRST)\x01", Station(), &log, 8), "W1AW 59");
  EXPECT_TRUE(log);
}

TEST(ComposeMessage, LabelDashEscapesMacrosAndTheIgnoredCharacter) {
  const FKeySet set = DefaultFKeySet();
  ComposeContext c = Context();
  c.ignore = "~";  // sent as a blank, the Call box's own included
  c.macros.callBox = "DL~1";
  const char* const cases[][2] = {
      {"", " "},
      {set.messages[1], "W1AW "},
      {set.messages[3], "DL 1 tu 599 005 599 005 W1AW\x1A"},
      {"<no end (MYCALL)", " "},
      {"  -(MYCALL)", "W1AW"},
      {"<x>  ---a\\nb", "-a\rb"},  // two dashes go at most
      {"~(HISCALL)~", " DL 1  "},
      {"(HISCALL) tu\\u", "DL 1 tu "},
  };
  for (const auto& k : cases) EXPECT_EQ(ComposeMessage(k[0], c).text, k[1]) << k[0];
  EXPECT_TRUE(ComposeMessage("(HISCALL) tu\\u", c).logUpdateRequested);
  // "\l" marks the contact before or after the log update, as the message orders them.
  const std::pair<const char*, int> marks[] = {{"a", 0},      {"a\\l", 1},         {"\\l(HISCALL)\\u", 1},
                                               {"\\u\\l", 3}, {"\\l\\u\\L\\u", 1}, {"\\l\\u x\\l", 3}};
  for (const auto& [message, mark] : marks) {
    const ComposeResult r = ComposeMessage(message, c);
    EXPECT_EQ(r.qsoPending + 2 * r.qsoPendingAfterUpdate, mark) << message;
  }
  for (bool transmitting : {false, true}) {
    c.transmitting = transmitting;
    const ComposeResult r = ComposeMessage(set.messages[0], c);
    EXPECT_EQ(r.startTxRequested, !transmitting);
    EXPECT_EQ(r.text, "cq cq cq de W1AW W1AW W1AW k\r\x1A");
  }
}

TEST(ComposeMessage, MessageFileBody) {
  ComposeContext c = Context();
  std::string asked, body = "\\t(MYCALL) one\ntwo\n";
  c.readFile = [&](const char* path, std::string& out) {
    asked = path;
    out = body;
    return body.size() > 20000 ? FileRead::kTooLarge : FileRead::kRead;
  };
  const ComposeResult r = ComposeMessage("<F3  File> @cq.rty", c);
  EXPECT_EQ(asked, "C:\\Zktty\\cq.rty");
  EXPECT_EQ(r.text, "W1AW one\rtwo\r ");
  EXPECT_TRUE(r.startTxRequested);
  const struct {
    std::string body, message, text;
  } cases[] = {
      {std::string(9500, 'a'), "@m", std::string(9000, 'a') + " "},
      {"b", " -@m", "@m"},                  // without a label the dash is body text
      {"", "@m", ""},                       // an empty file sends nothing, not even the blank
      {std::string(20001, 'a'), "@m", ""},  // nor does a file too large
  };
  for (const auto& k : cases) {
    body = k.body;
    EXPECT_EQ(ComposeMessage(k.message.c_str(), c).text, k.text) << k.message;
  }
  asked.clear();
  const std::string longDirectory(250, 'd');
  c.startDirectory = longDirectory.c_str();
  EXPECT_EQ(ComposeMessage("@ten_chars", c).text, "");  // 260 bytes do not fit
  EXPECT_EQ(asked, "");
  body = "b";
  EXPECT_EQ(ComposeMessage("@8____chr", c).text, "b ");  // 259 do
  EXPECT_EQ(asked.size(), 259u);
  body = std::string(20001, 'a');
  EXPECT_EQ(ComposeMessage("@big", c).refusedFile, asked);
  const ComposeResult missing = ComposeMessage("@\\t", Context());
  EXPECT_EQ(missing.text, "");
  EXPECT_FALSE(missing.startTxRequested);

  char dir[] = "/tmp/zk_compose_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/m.rty", big = "line\n" + std::string(9100, 'b');
  EXPECT_EQ(ReadMessageFile(path.c_str(), body), FileRead::kNothing);  // missing
  std::ofstream(path) << "";
  EXPECT_EQ(ReadMessageFile(path.c_str(), body), FileRead::kNothing);  // empty
  std::ofstream(path) << big;
  EXPECT_EQ(ReadMessageFile(path.c_str(), body), FileRead::kRead);
  EXPECT_EQ(body, big.substr(0, 9000));
  for (long size : {kLargestFileBytes, kLargestFileBytes + 1}) {  // 1 MiB is read, a byte more refused
    std::ofstream(path) << std::string(static_cast<size_t>(size), 'c');
    EXPECT_EQ(ReadMessageFile(path.c_str(), body), size > kLargestFileBytes ? FileRead::kTooLarge : FileRead::kRead);
  }
  std::remove(path.c_str());
  rmdir(dir);
}

// FindNoCase is checked through the arming, and for its bounds by the fuzz target.
TEST(ComposeLabel, CaptionAndArming) {
  FKeySet set = DefaultFKeySet();
  char label[8];
  EXPECT_TRUE(FKeyLabel(set.messages[1], label, sizeof label));
  EXPECT_STREQ(label, "F2  My ");  // cut at capacity - 1
  EXPECT_TRUE(FKeyLabel("  <F1  CQ> x", label, sizeof label));
  EXPECT_STREQ(label, "F1  CQ");
  EXPECT_FALSE(FKeyLabel("x <F1>", label, sizeof label) || FKeyLabel("<F1", label, sizeof label));

  set.repeatKey = 1;
  EXPECT_TRUE(ShouldArmRepeat(0, set));
  EXPECT_FALSE(ShouldArmRepeat(3, set));  // F4 has both escapes but is not the repeat key
  set.repeatKey = 2;
  EXPECT_FALSE(ShouldArmRepeat(1, set));
  std::snprintf(set.messages[1], sizeof set.messages[1], "\\T cq \\S");
  EXPECT_TRUE(ShouldArmRepeat(1, set));
  std::snprintf(set.messages[1], sizeof set.messages[1], "\\t cq");
  EXPECT_FALSE(ShouldArmRepeat(1, set));
}

FKeySet Loaded(const std::string& text, FKeySet set = DefaultFKeySet()) {
  LoadFKeyText(set, text.data(), text.size());
  return set;
}

// The repeat values and the two formats.
std::string Extras(const FKeySet& set) {
  return std::to_string(set.repeatKey) + " " + std::to_string(set.repeatSeconds) + " [" + set.hisRstFormat + "] [" +
         set.exchangeFormat + "]";
}

TEST(FKeyFile, SavesTwelveLinesAndLoadsBack) {
  char dir[] = "/tmp/zk_fkeys_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/keys.rtm";
  FKeySet set = DefaultFKeySet();
  ASSERT_TRUE(SaveFKeyFile(set, path.c_str()));
  std::ifstream in(path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
            "F1: <F1  CQ> -\\tcq cq cq de (MYCALL) (MYCALL) (MYCALL) k \\s\n"
            "F2: <F2  My call> (mycall)\n"
            "F3: \n"
            "F4: <F4  TU> -\\t(HISCALL) tu (HISRST) (HISRST) (MYCALL)\\s\n"
            "F5: <F5  Exchange> (hiscall) de (mycall)\n"
            "F6: \nF7: \nF8: \nF9: \n"
            "repeat 0 0\nrst \nexchange \n");
  EXPECT_EQ(access((path + ".tmp").c_str(), F_OK), -1);

  FKeySet other = Loaded("F3: x\nF7: y\nrepeat 4 4\nrst #1\nexchange #2");
  ASSERT_EQ(LoadFKeyFile(other, path.c_str()), FileRead::kRead);
  for (int i = 0; i < kFKeyCount; ++i) EXPECT_STREQ(other.messages[i], set.messages[i]) << i;
  EXPECT_EQ(Extras(other), "0 0 [] []");

  // Missing files: a failed save cleans nothing; a failed load still clears the formats
  // and the auto-repeat but keeps the messages.
  other = Loaded("rst #1 #2\nexchange #2\nrepeat 1 5\nF3: kept");
  const std::string nowhere = std::string(dir) + "/no/such.rtm";
  EXPECT_FALSE(SaveFKeyFile(other, nowhere.c_str()));
  EXPECT_NE(std::strchr(other.messages[0], '\r'), nullptr);
  EXPECT_EQ(LoadFKeyFile(other, nowhere.c_str()), FileRead::kNothing);
  EXPECT_EQ(Extras(other), "0 0 [] []");
  EXPECT_STREQ(other.messages[2], "kept");
  // A file over 1 MiB is refused whole, and the set stays as it was.
  std::ofstream(path) << std::string(1024 * 1024 - 9, '\n') << "F3: huge\nrepeat 9 9\n";
  EXPECT_EQ(LoadFKeyFile(other, path.c_str()), FileRead::kTooLarge);
  EXPECT_EQ(Extras(other) + other.messages[2], "0 0 [] []kept");
  std::remove(path.c_str());
  rmdir(dir);
}

TEST(FKeyFileLoad, KeyRepeatAndFormatLines) {
  FKeySet set = Loaded("F10: ten\r\nF1:\nF2: \nFxyz hello\nf5: lower\nF0004:\tfour\nF-3: neg");
  EXPECT_STREQ(set.messages[8], " ten");  // numbers past 9 name F9
  EXPECT_STREQ(set.messages[1], "");
  EXPECT_STREQ(set.messages[0], " neg");  // so do numbers below 1, "Fxyz" included
  EXPECT_STREQ(set.messages[4], "<F5  Exchange> (hiscall) de (mycall)");
  EXPECT_STREQ(set.messages[3], "4: four");  // the message starts at the fifth character
  EXPECT_STREQ(Loaded("Fxyz hello").messages[0], " hello");

  // Long lines are cut, not split.
  set = Loaded("F2: " + std::string(995, 'a') + "F7: piece\nrst " + std::string(300, 'r'));
  EXPECT_EQ(std::string(set.messages[1]), std::string(499, 'a'));
  EXPECT_STREQ(set.messages[6], "");
  EXPECT_EQ(std::string(set.hisRstFormat), std::string(199, 'r'));

  const char* const cases[][2] = {
      {"REPEAT 3 20\nrstx text\nExchange  #1 #2\n", "3 20 [text] [ #1 #2]"},  // prefixes count
      {"repeat 3\nrst\nexchange", "3 0 [] []"},
      {"repeated  x  7", "0 7 [] []"},
      {"repeat 99999999999999999999 -99999999999999999999", "2147483647 -2147483648 [] []"},
  };
  for (const auto& c : cases) EXPECT_EQ(Extras(Loaded(c[0])), c[1]) << c[0];
}

// Ticks as text: '.' for nothing, the key number when it goes out.
std::string Ticks(AutoRepeat& repeat, int count, int repeatfkey = 1) {
  std::string out;
  for (int i = 0; i < count; ++i) {
    const int key = repeat.Tick(repeatfkey);
    out += key < 0 ? '.' : static_cast<char>('1' + key);
  }
  return out;
}

TEST(AutoRepeat, ComesBackOnTheTickAfterThePause) {
  AutoRepeat repeat;
  repeat.OnFKeySent(true);
  EXPECT_EQ(Ticks(repeat, 3), "...");  // on the air: no countdown yet
  repeat.OnReturnToReceive(10);
  EXPECT_EQ(Ticks(repeat, 13), "..........1..");
  EXPECT_FALSE(repeat.armed());
  EXPECT_EQ(repeat.countdown(), -1);

  repeat.OnFKeySent(true);
  repeat.OnReturnToReceive(10);
  Ticks(repeat, 5);
  repeat.OnReturnToReceive(2);  // back to receive by hand restarts the pause
  EXPECT_EQ(Ticks(repeat, 4), "..1.");
  repeat.OnFKeySent(true);
  repeat.OnReturnToReceive(3);
  repeat.Tick(1);
  repeat.Cancel();
  EXPECT_EQ(Ticks(repeat, 20), std::string(20, '.'));
  repeat.OnFKeySent(false);  // a key that does not repeat
  repeat.OnReturnToReceive(0);
  EXPECT_EQ(repeat.countdown(), -1);
  EXPECT_EQ(Ticks(repeat, 2), "..");
  repeat.OnFKeySent(true);
  repeat.OnReturnToReceive(0);
  EXPECT_EQ(Ticks(repeat, 1, 10), ".");  // no such key: disarms without sending
  EXPECT_FALSE(repeat.armed());
}

}  // namespace
}  // namespace zk
