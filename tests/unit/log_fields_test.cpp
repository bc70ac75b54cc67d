#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "loglink/log_fields.h"

namespace zk {
namespace {

// Every field of a block parsed with full-size buffers, as "name=value@end;", up to the
// first place that is not a field.
std::string Fields(const std::string& block) {
  std::string out;
  char name[kLogFieldNameSize];
  char value[kLogFieldValueSize];
  const char* p = block.data();
  const char* e = p + block.size();
  while ((p = NextLogField(p, e, name, sizeof name, value, sizeof value)) != nullptr)
    out += std::string(name) + "=" + value + "@" + std::to_string(p - block.data()) + ";";
  return out;
}

// The actions a received block asks for, as "kind:text;".
std::string Actions(const std::string& block) {
  static const char* const kKinds[] = {"clear", "call", "myrst", "hisrst", "stopped"};
  std::string out;
  for (const LogAction& a : LogReceive(block.data(), block.size()))
    out += std::string(kKinds[a.kind]) + ":" + a.text + ";";
  return out;
}

TEST(FormatLogField, CountsTheValueAndRefusesWhatDoesNotFit) {
  char out[kLogSendBufferSize];
  EXPECT_EQ(FormatLogField(out, sizeof out, "control", "updatelog"), 20);
  EXPECT_STREQ(out, "<control:9>updatelog");
  EXPECT_EQ(FormatLogField(out, sizeof out, "CALL", ""), 8);
  EXPECT_STREQ(out, "<CALL:0>");
  EXPECT_EQ(FormatLogField(out, sizeof out, "CALL", std::string(299, 'K').c_str()), 10 + 299);
  // "<c:495>" + 495 bytes + terminator = 503.
  EXPECT_EQ(FormatLogField(out, sizeof out, "c", std::string(495, 'x').c_str()), -1);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(FormatLogField(out, 20, "control", "updatelog"), -1);  // needs 21 bytes
  EXPECT_STREQ(out, "");
  EXPECT_EQ(FormatLogField(out, 21, "control", "updatelog"), 20);
}

TEST(NextLogField, ParsesBothFormsAndStopsAtMalformedText) {
  const struct {
    std::string block, fields;
  } cases[] = {
      {"<rst_sent:7>599 001  <CALL:5>W1ABC <control>update", "rst_sent=599 001@19;CALL=W1ABC@34;control=update@50;"},
      // A counted value is taken verbatim, brackets and all; a lengthless one stops at '<'.
      {"<a:4><b>c<x>y z<q:0>", "a=<b>c@9;x=y z@15;q=@20;"},
      {"<call:5>W1ABC<control>", "call=W1ABC@13;"},  // nothing after the '>'
      {"<control>new<x><y>1", "control=new@12;x=@15;y=1@19;"},
      {"<call:0005>W1ABC<x:1>y", "call=W1ABC@16;x=y@22;"},
      {std::string("<v:3>a\0b<x:1>y", 14), "v=a@8;x=y@14;"},  // the text ends at the zero
  };
  for (const auto& c : cases) EXPECT_EQ(Fields(c.block), c.fields) << c.block;
  const std::string noField[] = {
      "",
      "   ",
      "x<call:1>a",
      "<call",
      "<call:",
      "<call:5",
      "<call:>x",
      "<call:1x>ab",
      "<call:-1>ab",
      "<rst_rcvd:10>599",
      "<a:4>abc",  // lengths beyond the block
      std::string("<ca\0ll:1>a", 10),
      std::string("<call:1\0>a", 10),
      std::string("\0<call:1>a", 10),
      "<call:18446744073709551617>ab",
      "<call:99999999999999999999999999999999999999>" + std::string(64, 'a'),
  };
  for (const std::string& block : noField) EXPECT_EQ(Fields(block), "") << block;

  char name[3];
  char value[2];
  const char* s = "<call:5>W1ABC";
  EXPECT_EQ(NextLogField(s + 3, s, name, sizeof name, value, sizeof value), nullptr);
  EXPECT_EQ(NextLogField(nullptr, nullptr, name, sizeof name, value, sizeof value), nullptr);
  // Cut to the buffers, but the whole field is stepped over.
  EXPECT_EQ(NextLogField(s, s + 13, name, sizeof name, value, sizeof value), s + 13);
  EXPECT_STREQ(name, "ca");
  EXPECT_STREQ(value, "W");
  const std::string n(150, 'n'), v(1500, 'v'), n99(99, 'n'), v999(999, 'v');
  EXPECT_EQ(Fields("<" + n + ":1500>" + v + "<" + n + ">" + v + "<call:1>z"),
            n99 + "=" + v999 + "@1657;" + n99 + "=" + v999 + "@3309;call=z@3318;");
}

TEST(LogReceive, ActionsInOrder) {
  const struct {
    std::string block, actions;
  } cases[] = {
      {"<rst_sent:7>599 001<CALL:5>W1ABC", "hisrst:599 001;call:W1ABC;"},
      {"<Rst_Rcvd:3>579", "myrst:579;"},
      {"<control>update", "clear:;"},
      {"<control:10>logstarted <CONTROL:3>NEW <control:5>bogus <control:10>LogStopped "
       "<control:9>updatelog",
       "clear:;stopped:;"},
      // The name is cleaned of trailing blanks and controls, the value is not; a blank
      // before the name stays, so that name matches nothing.
      {"<call\t :6>W1ABC <rst_sent\r:4> 59\t", "call:W1ABC ;hisrst: 59\t;"},
      {"< call:1>a", ""},
      {"<mode:4>RTTY<call:1>a junk<call:1>b", "call:a;"},
      // A wrong length that still fits takes the bytes it counts; the leftover ends the block.
      {"<call:1>a<rst_rcvd:10>599<call:1>b", "call:a;myrst:599<call:1;"},
      {"<call:1>a<rst_rcvd:10>599", "call:a;"},
      {"<rst_sent:60>" + std::string(60, '5') + "<rst_rcvd:60>" + std::string(60, '6'),
       "hisrst:" + std::string(49, '5') + ";myrst:" + std::string(49, '6') + ";"},
      {"<call:400>" + std::string(400, 'K'), "call:" + std::string(400, 'K') + ";"},
  };
  for (const auto& c : cases) EXPECT_EQ(Actions(c.block), c.actions) << c.block;
  EXPECT_TRUE(LogReceive(nullptr, 10).empty());
  std::string flood;
  for (int i = 0; i < 1500; ++i) flood += "<control>new";
  EXPECT_EQ(LogReceive(flood.data(), flood.size()).size(), kMaxLogActionsPerBlock);
}

// Another terminal's window, its own included, is no logging program.
TEST(LogAnnouncement, LinksALoggerAnswersTheFirstAndEndsOn1002) {
  using A = LogAnnouncement;
  const struct {
    uintptr_t wParam;
    bool fromLogger, linked;
    A expected;
  } cases[] = {
      {kLogAnnounce, true, false, A::kLinkAndAnswer},
      {kLogAnnounceAtStart, true, false, A::kLinkAndAnswer},
      {kLogAnnounce, true, true, A::kLink},
      {kLogAnnounceAtStart, true, true, A::kLink},
      {kLogAnnounce, false, false, A::kIgnore},
      {kLogAnnounceAtStart, false, true, A::kIgnore},
      {kLogEndProgram, true, true, A::kEndProgram},
      {kLogEndProgram, false, false, A::kEndProgram},
      {999, true, false, A::kIgnore},
      {1003, true, true, A::kIgnore},
      {0, true, false, A::kIgnore},
  };
  for (const auto& c : cases)
    EXPECT_EQ(OnLogAnnouncement(c.wParam, c.fromLogger, c.linked), c.expected)
        << c.wParam << " " << c.fromLogger << " " << c.linked;
}

TEST(PaneSelectionPick, CallAndReport) {
  const std::string thirty(30, 'W');
  EXPECT_EQ(PickedCallText((thirty + " \r\n").c_str()), thirty);  // the Call box gets it all
  EXPECT_EQ(CutTo25(thirty), std::string(25, 'W'));               // the log the first 25
  EXPECT_EQ(PickedCallText("DL1\tABC") + PickedCallText(nullptr), "DL1 ABC");
  const std::string reports[][2] = {
      {"5NN", "599"},
      {"5nN \r\n", "599"},
      {"5nn-001", "599 001"},
      {"5-9-9", "5 9 9"},
      {"N5NN", "N59N"},  // only the 2nd and 3rd places
      {"NN", "NN"},      // too short to be a report
      {"-NN", " 99"},
      {"", ""},
      {std::string(40, '5'), std::string(25, '5')},
  };
  for (const auto& r : reports) EXPECT_EQ(PickedReportText(r[0].c_str()), r[1]) << r[0];
}

}  // namespace
}  // namespace zk
