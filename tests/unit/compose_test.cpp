#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "messages/compose.h"
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
  c.readFile = [](const char*, std::string&) { return false; };
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
  v.mycall = "(MYCALL)";  // replacement text is not scanned again
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
  EXPECT_TRUE(ComposeMessage("a\\l", c).qsoPending);
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
    return true;
  };
  const ComposeResult r = ComposeMessage("<F3  File> @cq.rty", c);
  EXPECT_EQ(asked, "C:\\Zktty\\cq.rty");
  EXPECT_EQ(r.text, "W1AW one\rtwo\r ");
  EXPECT_TRUE(r.startTxRequested);
  const struct {
    std::string body, message, text;
  } cases[] = {
      {"-x", "@m", "x"},
      {std::string(9500, 'a'), "@m", std::string(9000, 'a') + " "},
      {"b", " -@m", "@m"},  // without a label the dash is body text
      {"", "@m", ""},       // an empty file sends nothing, not even the blank
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
  const ComposeResult missing = ComposeMessage("@\\t", Context());
  EXPECT_EQ(missing.text, "");
  EXPECT_FALSE(missing.startTxRequested);

  char dir[] = "/tmp/zk_compose_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/m.rty", big = "line\n" + std::string(9100, 'b');
  EXPECT_FALSE(ReadMessageFile(path.c_str(), body));  // missing
  std::ofstream(path) << "";
  EXPECT_FALSE(ReadMessageFile(path.c_str(), body));  // empty
  std::ofstream(path) << big;
  EXPECT_TRUE(ReadMessageFile(path.c_str(), body));
  EXPECT_EQ(body, big.substr(0, 9000));
  std::remove(path.c_str());
  rmdir(dir);
}

TEST(ComposeLabel, CaptionArmingAndSearch) {
  FKeySet set = DefaultFKeySet();
  char label[8];
  EXPECT_TRUE(FKeyLabel(set.messages[1], label, sizeof label));
  EXPECT_STREQ(label, "F2  My ");  // cut at capacity - 1
  EXPECT_TRUE(FKeyLabel("  <F1  CQ> x", label, sizeof label));
  EXPECT_STREQ(label, "F1  CQ");
  EXPECT_FALSE(FKeyLabel("x <F1>", label, sizeof label) || FKeyLabel("<F1", label, sizeof label));

  set.repeatfkey = 1;
  EXPECT_TRUE(ShouldArmRepeat(0, set));
  EXPECT_FALSE(ShouldArmRepeat(3, set));  // F4 has both escapes but is not the repeat key
  set.repeatfkey = 2;
  EXPECT_FALSE(ShouldArmRepeat(1, set));
  std::snprintf(set.messages[1], sizeof set.messages[1], "\\T cq \\S");
  EXPECT_TRUE(ShouldArmRepeat(1, set));
  std::snprintf(set.messages[1], sizeof set.messages[1], "\\t cq");
  EXPECT_FALSE(ShouldArmRepeat(1, set));

  const char* text = "ab\\Tcd";
  EXPECT_EQ(FindNoCase(text, "\\t"), text + 2);
  EXPECT_EQ(FindNoCase(text, "\\s"), nullptr);
  EXPECT_EQ(FindNoCase("", ""), nullptr);
  EXPECT_EQ(FindNoCase("abc", "abcd"), nullptr);
}

}  // namespace
}  // namespace zk
