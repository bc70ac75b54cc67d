#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "loglink/log_fields.h"

namespace zk {
namespace {

struct Field {
  std::string name;
  std::string value;
  size_t end;  // offset after the field
};

// Parses every field of block with full-size buffers; stops at the first non-field.
std::vector<Field> AllFields(const std::string& block) {
  std::vector<Field> fields;
  char name[kLogFieldNameSize];
  char value[kLogFieldValueSize];
  const char* p = block.data();
  const char* e = p + block.size();
  while ((p = NextLogField(p, e, name, sizeof name, value, sizeof value)) != nullptr)
    fields.push_back({name, value, static_cast<size_t>(p - block.data())});
  return fields;
}

bool NoField(const std::string& block) { return AllFields(block).empty(); }

std::vector<LogAction> Receive(const std::string& block) {
  return LogReceive(block.data(), block.size());
}

TEST(FormatLogField, WritesNameLengthAndValueWithoutCountingTheTerminator) {
  char out[kLogSendBufferSize];
  EXPECT_EQ(FormatLogField(out, sizeof out, "control", "updatelog"), 20);
  EXPECT_STREQ(out, "<control:9>updatelog");
  EXPECT_EQ(FormatLogField(out, sizeof out, "CALL", ""), 8);
  EXPECT_STREQ(out, "<CALL:0>");
  std::string call(299, 'K');
  EXPECT_EQ(FormatLogField(out, sizeof out, "CALL", call.c_str()), 10 + 299);
}

TEST(FormatLogField, RefusesAFieldThatDoesNotFitAndWritesNothingPastCapacity) {
  char out[32];
  std::memset(out, '#', sizeof out);
  // "<control:9>updatelog" needs 21 bytes with its terminator.
  EXPECT_EQ(FormatLogField(out, 20, "control", "updatelog"), -1);
  EXPECT_STREQ(out, "");
  for (size_t i = 20; i < sizeof out; ++i) EXPECT_EQ(out[i], '#');
  EXPECT_EQ(FormatLogField(out, 21, "control", "updatelog"), 20);

  char big[kLogSendBufferSize];
  std::string value(495, 'x');  // "<c:495>" + 495 bytes + terminator = 503
  EXPECT_EQ(FormatLogField(big, sizeof big, "c", value.c_str()), -1);
  EXPECT_STREQ(big, "");
}

TEST(NextLogField, ParsesBothFormsAndBlanksBetweenFields) {
  auto f = AllFields("<rst_sent:7>599 001  <CALL:5>W1ABC <control>update");
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(f[0].name, "rst_sent");
  EXPECT_EQ(f[0].value, "599 001");
  EXPECT_EQ(f[0].end, 19u);
  EXPECT_EQ(f[1].name, "CALL");
  EXPECT_EQ(f[1].value, "W1ABC");
  EXPECT_EQ(f[2].name, "control");
  EXPECT_EQ(f[2].value, "update");
  EXPECT_EQ(f[2].end, 50u);

  // A counted value is taken verbatim, brackets and all; a lengthless one stops at '<'.
  f = AllFields("<a:4><b>c<x>y z<q:0>");
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(f[0].value, "<b>c");
  EXPECT_EQ(f[1].name, "x");
  EXPECT_EQ(f[1].value, "y z");
  EXPECT_EQ(f[2].name, "q");
  EXPECT_EQ(f[2].value, "");
}

TEST(NextLogField, DropsALengthlessFieldEndingTheBlock) {
  auto f = AllFields("<call:5>W1ABC<control>");
  ASSERT_EQ(f.size(), 1u);
  EXPECT_EQ(f[0].value, "W1ABC");
  // With something after the '>' it is a field, and an empty lengthless value is too.
  f = AllFields("<control>new<x><y>1");
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(f[1].name, "x");
  EXPECT_EQ(f[1].value, "");
}

TEST(NextLogField, FindsNoFieldInMalformedText) {
  EXPECT_TRUE(NoField(""));
  EXPECT_TRUE(NoField("   "));
  EXPECT_TRUE(NoField("x<call:1>a"));
  EXPECT_TRUE(NoField("<rst_rcvd:10>599"));  // length beyond the block
  EXPECT_TRUE(NoField("<call"));
  EXPECT_TRUE(NoField("<call:"));
  EXPECT_TRUE(NoField("<call:5"));
  EXPECT_TRUE(NoField("<call:>x"));
  EXPECT_TRUE(NoField("<call:1x>ab"));
  EXPECT_TRUE(NoField("<call:-1>ab"));
  EXPECT_TRUE(NoField(std::string("<ca\0ll:1>a", 10)));
  EXPECT_TRUE(NoField(std::string("<call:1\0>a", 10)));
  EXPECT_TRUE(NoField(std::string("\0<call:1>a", 10)));
  // So many digits that they would overflow any integer.
  EXPECT_TRUE(NoField("<call:99999999999999999999999999999999999999>" + std::string(64, 'a')));
  EXPECT_TRUE(NoField("<call:18446744073709551617>ab"));

  char name[8];
  char value[8];
  const char* s = "<a:1>b";
  EXPECT_EQ(NextLogField(s + 3, s, name, sizeof name, value, sizeof value), nullptr);
  EXPECT_EQ(NextLogField(nullptr, nullptr, name, sizeof name, value, sizeof value), nullptr);
}

TEST(NextLogField, LeadingZerosAndAZeroByteInsideACountedValue) {
  auto f = AllFields("<call:0005>W1ABC<x:1>y");
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(f[0].value, "W1ABC");
  f = AllFields(std::string("<v:3>a\0b<x:1>y", 14));
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(f[0].value, "a");  // the text ends at the zero, the position does not
  EXPECT_EQ(f[0].end, 8u);
}

TEST(NextLogField, CutsOverlongNamesAndValuesButStepsOverTheWholeField) {
  std::string longName(150, 'n');
  std::string longValue(1500, 'v');
  std::string block = "<" + longName + ":1500>" + longValue + "<" + longName + ">" + longValue +
                      "<call:1>z";
  auto f = AllFields(block);
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(f[0].name, std::string(kLogFieldNameSize - 1, 'n'));
  EXPECT_EQ(f[0].value, std::string(kLogFieldValueSize - 1, 'v'));
  EXPECT_EQ(f[1].name, std::string(kLogFieldNameSize - 1, 'n'));
  EXPECT_EQ(f[1].value, std::string(kLogFieldValueSize - 1, 'v'));
  EXPECT_EQ(f[2].value, "z");
  EXPECT_EQ(f[2].end, block.size());

  char name[3];
  char value[2];
  const char* p = "<call:5>W1ABC";
  EXPECT_EQ(NextLogField(p, p + 13, name, sizeof name, value, sizeof value), p + 13);
  EXPECT_STREQ(name, "ca");
  EXPECT_STREQ(value, "W");
}

TEST(LogReceive, ReportThenCallInAnyCase) {
  auto a = Receive("<rst_sent:7>599 001<CALL:5>W1ABC");
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0].kind, LogAction::SetHisRst);
  EXPECT_EQ(a[0].text, "599 001");
  EXPECT_EQ(a[1].kind, LogAction::SetCallBox);
  EXPECT_EQ(a[1].text, "W1ABC");

  a = Receive("<Rst_Rcvd:3>579");
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].kind, LogAction::SetMyRst);
  EXPECT_EQ(a[0].text, "579");
}

TEST(LogReceive, ControlWords) {
  auto a = Receive("<control>update");
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].kind, LogAction::ClearCallBox);

  a = Receive(
      "<control:10>logstarted <CONTROL:3>NEW <control:5>bogus <control:10>LogStopped "
      "<control:9>updatelog");
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0].kind, LogAction::ClearCallBox);
  EXPECT_EQ(a[1].kind, LogAction::LogStopped);
}

TEST(LogReceive, CleansTheNameButNotTheValue) {
  auto a = Receive("<call\t :6>W1ABC <rst_sent\r:4> 59\t");
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0].kind, LogAction::SetCallBox);
  EXPECT_EQ(a[0].text, "W1ABC ");
  EXPECT_EQ(a[1].kind, LogAction::SetHisRst);
  EXPECT_EQ(a[1].text, " 59\t");
  // A blank before the name is not cleaned away, so the name does not match.
  EXPECT_TRUE(Receive("< call:1>a").empty());
}

TEST(LogReceive, StopsAtTheFirstFieldThatCannotBeParsed) {
  auto a = Receive("<mode:4>RTTY<call:1>a junk<call:1>b");
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].text, "a");

  // A wrong length that still fits takes the bytes it counts, and the leftover ends
  // the block.
  a = Receive("<call:1>a<rst_rcvd:10>599<call:1>b");
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[1].kind, LogAction::SetMyRst);
  EXPECT_EQ(a[1].text, "599<call:1");

  a = Receive("<call:1>a<rst_rcvd:10>599");
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].text, "a");

  EXPECT_TRUE(LogReceive(nullptr, 10).empty());
}

TEST(LogReceive, CutsReportsTo49AndLimitsTheActionsOfABlock) {
  std::string report(60, '5');
  auto a = Receive("<rst_sent:60>" + report + "<rst_rcvd:60>" + report);
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0].text, std::string(kRstSize - 1, '5'));
  EXPECT_EQ(a[1].text, std::string(kRstSize - 1, '5'));

  std::string call(400, 'K');
  a = Receive("<call:400>" + call);
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].text, call);

  std::string flood;
  for (int i = 0; i < 1500; ++i) flood += "<control>new";
  EXPECT_EQ(Receive(flood).size(), kMaxLogActionsPerBlock);
}

TEST(PaneSelectionPick, CallKeepsTheWholeCleanedTextAndSendsTheFirst25) {
  std::string thirty(30, 'W');
  std::string box = PickedCallText((thirty + " \r\n").c_str());
  EXPECT_EQ(box, thirty);
  EXPECT_EQ(CutTo25(box), std::string(25, 'W'));
  EXPECT_EQ(PickedCallText("DL1\tABC"), "DL1 ABC");
  EXPECT_EQ(PickedCallText(""), "");
  EXPECT_EQ(PickedCallText(nullptr), "");
  EXPECT_EQ(CutTo25("G4XYZ"), "G4XYZ");
}

TEST(PaneSelectionPick, ReportTurnsNIntoNineAndDashesIntoBlanks) {
  EXPECT_EQ(PickedReportText("5NN"), "599");
  EXPECT_EQ(PickedReportText("5nN \r\n"), "599");
  EXPECT_EQ(PickedReportText("5nn-001"), "599 001");
  EXPECT_EQ(PickedReportText("5-9-9"), "5 9 9");
  EXPECT_EQ(PickedReportText("N5NN"), "N59N");  // only the 2nd and 3rd places
  EXPECT_EQ(PickedReportText("NN"), "NN");      // too short to be a report
  EXPECT_EQ(PickedReportText("-NN"), " 99");
  EXPECT_EQ(PickedReportText(""), "");
  EXPECT_EQ(PickedReportText(std::string(40, '5').c_str()), std::string(25, '5'));
}

}  // namespace
}  // namespace zk
