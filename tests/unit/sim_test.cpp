#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "../../sim/common/flood_text.h"
#include "../../sim/common/line_pacer.h"
#include "../../sim/common/script.h"
#include "../../sim/common/script_player.h"
#include "../../sim/common/tnc_machine.h"
#include "../../sim/common/tu_sender.h"

namespace zk {
namespace sim {
namespace {

TEST(SimPacing, CharacterTimeFollowsBaudBitsAndScale) {
  // 45.45 baud with 1.5 stop bits: 7.5 bit times, 165 ms, about 6.06 characters a second.
  EXPECT_NEAR(CharacterTimeNs(45.45, 7.5, 1), 165016502, 1);
  EXPECT_NEAR(CharacterTimeNs(45.45, 7.5, 100), 1650165, 1);
  EXPECT_NEAR(CharacterTimeNs(115200, 10, 1), 86806, 1);
  EXPECT_EQ(CharacterTimeNs(0, 10, 1), 0);
  EXPECT_EQ(CharacterTimeNs(9600, 10, 0), 0);
  EXPECT_EQ(CharacterTimeNs(-5, 10, 1), 0);
}

TEST(SimPacing, BusyLineKeepsAbsoluteDeadlinesDespiteLateWakeups) {
  const int64_t p = 165 * kNsPerMs;
  LinePacer pacer(p);
  const int64_t t0 = 1000 * kNsPerMs;
  EXPECT_TRUE(pacer.Ready(t0));
  pacer.Use(t0);
  EXPECT_FALSE(pacer.Ready(t0 + p - 1));
  EXPECT_EQ(pacer.NextSlot(), t0 + p);
  // Each wake-up comes 3 ms late; the slots stay on the original grid.
  for (int k = 1; k <= 50; ++k) {
    const int64_t late = pacer.NextSlot() + 3 * kNsPerMs;
    ASSERT_TRUE(pacer.Ready(late));
    pacer.Use(late);
    ASSERT_EQ(pacer.NextSlot(), t0 + (k + 1) * p);
  }
}

TEST(SimPacing, IdleOrVeryLateLineRestartsAtNow) {
  const int64_t p = 10 * kNsPerMs;
  LinePacer pacer(p);
  pacer.Use(0);
  pacer.MarkIdle();  // nothing was waiting when the slot came
  pacer.Use(13 * kNsPerMs);
  EXPECT_EQ(pacer.NextSlot(), 23 * kNsPerMs);
  // Late by more than the catch-up limit: no burst of the missed slots.
  pacer.Use(500 * kNsPerMs);
  EXPECT_EQ(pacer.NextSlot(), 510 * kNsPerMs);
  pacer.Reset();
  EXPECT_TRUE(pacer.Ready(0));
}

Script Parsed(const std::string& text, int maxRaw = 31) {
  Script s;
  std::string error;
  EXPECT_TRUE(ParseScript(text, maxRaw, &s, &error)) << error;
  return s;
}

std::string ParseError(const std::string& text, int maxRaw = 31) {
  Script s;
  std::string error;
  EXPECT_FALSE(ParseScript(text, maxRaw, &s, &error));
  EXPECT_TRUE(s.steps.empty());
  return error;
}

TEST(SimScript, ParsesTextCommentsAndDirectives) {
  const Script s = Parsed(
      "# heading\r\nCQ DE W1AW\r\n\n@pause 1500\n@noise 0x10\n@raw 31 0x1b 1\n"
      "@wait-rx  de k1abc  \n@@home\n#last");
  ASSERT_EQ(s.steps.size(), 7u);
  EXPECT_EQ(s.steps[0].kind, ScriptStep::Kind::kText);
  EXPECT_EQ(s.steps[0].text, "CQ DE W1AW\n");  // CR of a CR LF file dropped
  EXPECT_EQ(s.steps[0].line, 2);
  EXPECT_EQ(s.steps[1].text, "\n");  // a blank line is a newline
  EXPECT_EQ(s.steps[2].kind, ScriptStep::Kind::kPause);
  EXPECT_EQ(s.steps[2].amount, 1500);
  EXPECT_EQ(s.steps[3].kind, ScriptStep::Kind::kNoise);
  EXPECT_EQ(s.steps[3].amount, 16);
  EXPECT_EQ(s.steps[4].bytes, (std::vector<uint8_t>{31, 27, 1}));
  EXPECT_EQ(s.steps[5].kind, ScriptStep::Kind::kWaitRx);
  EXPECT_EQ(s.steps[5].text, "de k1abc");
  EXPECT_EQ(s.steps[6].text, "@home\n");
}

TEST(SimScript, RejectsMalformedDirectivesWithTheLineNumber) {
  EXPECT_EQ(ParseError("ok\n@paws 10"), "line 2: unknown directive @paws");
  EXPECT_NE(ParseError("@pause").find("line 1"), std::string::npos);
  EXPECT_NE(ParseError("@pause 10 20").find("@pause"), std::string::npos);
  EXPECT_NE(ParseError("@pause -5").find("@pause"), std::string::npos);
  EXPECT_NE(ParseError("@pause 3600001").find("@pause"), std::string::npos);
  EXPECT_NE(ParseError("@noise 12x").find("@noise"), std::string::npos);
  EXPECT_NE(ParseError("@raw 32").find("\"32\""), std::string::npos);  // five-bit codes only
  EXPECT_NE(ParseError("@raw").find("@raw"), std::string::npos);
  EXPECT_NE(ParseError("@wait-rx   ").find("@wait-rx"), std::string::npos);
  EXPECT_EQ(Parsed("@raw 255 0xff", 255).steps[0].bytes, (std::vector<uint8_t>{255, 255}));
  EXPECT_NE(ParseError("@raw 0x100", 255).find("0x100"), std::string::npos);
  // Digits that would overflow are refused, not wrapped.
  EXPECT_NE(ParseError("@pause 99999999999999999999999").find("@pause"), std::string::npos);
}

TEST(SimScript, CutsOverlongLines) {
  const Script s = Parsed(std::string(5000, 'R') + "\nY");
  ASSERT_EQ(s.steps.size(), 2u);
  EXPECT_EQ(s.steps[0].text.size(), kMaxScriptLine - 1 + 1);  // cut line plus its newline
  EXPECT_EQ(s.steps[1].text, "Y\n");
}

std::string Drain(ScriptPlayer& player, int64_t now, RxWatch& watch, int64_t* wakeAt) {
  std::string out;
  ScriptItem item;
  while (player.Next(now, watch, &item, wakeAt)) out.push_back(static_cast<char>(item.value));
  return out;
}

TEST(SimPlayer, PausesAreScaledAndWaitsHoldUntilHeard) {
  const Script s = Parsed("AB\n@pause 2000\nC\n@wait-rx de w1aw\nD\n@wait-rx DE W1AW\nE");
  RxWatch watch;
  ScriptPlayer player(&s, false, 100);  // a 100x faster line: 2000 ms become 20 ms
  int64_t wake = 0;
  EXPECT_EQ(Drain(player, 0, watch, &wake), "AB\n");
  EXPECT_EQ(wake, 20 * kNsPerMs);
  EXPECT_EQ(Drain(player, 19 * kNsPerMs, watch, &wake), "");
  EXPECT_EQ(Drain(player, 20 * kNsPerMs, watch, &wake), "C\n");
  EXPECT_EQ(wake, kNever);
  for (char c : std::string("CQ De W1A")) watch.Add(c);
  EXPECT_EQ(Drain(player, 30 * kNsPerMs, watch, &wake), "");
  watch.Add('w');
  EXPECT_EQ(Drain(player, 31 * kNsPerMs, watch, &wake), "D\n");
  // The first match was consumed: the same words must come again.
  EXPECT_EQ(Drain(player, 32 * kNsPerMs, watch, &wake), "");
  for (char c : std::string(" DE W1AW")) watch.Add(c);
  EXPECT_EQ(Drain(player, 33 * kNsPerMs, watch, &wake), "E\n");
  EXPECT_TRUE(player.finished());
}

TEST(SimPlayer, NoiseRepeatsAcrossRunsAndLoopsRestart) {
  const Script s = Parsed("@noise 40\n@raw 1 2\nK");
  RxWatch watch;
  int64_t wake = 0;
  ScriptPlayer first(&s, false, 1);
  ScriptPlayer second(&s, false, 1);
  const std::string a = Drain(first, 0, watch, &wake);
  const std::string b = Drain(second, 0, watch, &wake);
  EXPECT_EQ(a, b);
  ASSERT_EQ(a.size(), 40u + 2 + 2);
  EXPECT_EQ(a.substr(40), std::string("\x01\x02K\n"));
  int distinct[256] = {};
  int kinds = 0;
  for (size_t i = 0; i < 40; ++i) kinds += distinct[static_cast<uint8_t>(a[i])]++ == 0;
  EXPECT_GT(kinds, 20);  // noise, not a constant

  ScriptPlayer looped(&s, true, 1);
  ScriptItem item;
  std::string out;
  for (int i = 0; i < 88 && looped.Next(0, watch, &item, &wake); ++i) {
    out.push_back(static_cast<char>(item.value));
  }
  EXPECT_EQ(out.size(), 88u);
  EXPECT_EQ(out.substr(84), "\x01\x02K\n");
  EXPECT_FALSE(looped.finished());
}

TEST(SimPlayer, LoopOfNothingEnds) {
  const Script s = Parsed("# only a comment\n@pause 0");
  RxWatch watch;
  ScriptPlayer player(&s, true, 1);
  int64_t wake = 0;
  EXPECT_EQ(Drain(player, 0, watch, &wake), "");
  EXPECT_TRUE(player.finished());
  EXPECT_EQ(wake, kNever);
}

TEST(SimPlayer, WatchKeepsRecentTextOnly) {
  RxWatch watch;
  for (int i = 0; i < 300000; ++i) watch.Add('R');
  for (char c : std::string("NAME HIRAM")) watch.Add(c);
  EXPECT_TRUE(watch.Consume("name hiram"));
  EXPECT_FALSE(watch.Consume("R"));  // everything before the match is spent
  EXPECT_TRUE(watch.Consume(""));
}

std::vector<uint8_t> Codes(TuSender& sender, const std::vector<ScriptItem>& items) {
  std::deque<uint8_t> out;
  for (const ScriptItem& item : items) sender.Queue(item, &out);
  return std::vector<uint8_t>(out.begin(), out.end());
}

ScriptItem Text(char c) { return {ScriptItem::Kind::kText, static_cast<uint8_t>(c)}; }
ScriptItem Raw(uint8_t v) { return {ScriptItem::Kind::kRaw, v}; }

TEST(SimTuSender, EncodesTextWithShiftsAndNewlinesAsCrLf) {
  TuSender sender;
  EXPECT_EQ(Codes(sender, {Text('A'), Text('1'), Text(' '), Text('b'), Text('\n')}),
            (std::vector<uint8_t>{3, 27, 27, 23, 31, 31, 4, 25, 31, 31, 8, 2}));
}

TEST(SimTuSender, SaysLettersAgainAfterExactOrNoisyShiftCodes) {
  TuSender sender;
  // No shift code among the exact codes: the text follows directly.
  EXPECT_EQ(Codes(sender, {Raw(8), Raw(2), Text('E')}), (std::vector<uint8_t>{8, 2, 1}));
  // A figures shift sent raw would make "E" print as "3" without the resync.
  EXPECT_EQ(Codes(sender, {Raw(27), Text('E'), Text('T')}),
            (std::vector<uint8_t>{27, 31, 31, 1, 16}));
  // Noise values keep only their five code bits; 0xFB is a figures shift.
  EXPECT_EQ(Codes(sender, {{ScriptItem::Kind::kNoise, 0xFB}, Text('E')}),
            (std::vector<uint8_t>{27, 31, 31, 1}));
}

TEST(SimFlood, MakesExactlyTheAskedBytesOfNumberedLines) {
  const std::string line1 = "THE QUICK BROWN FOX 0123456789 000001\r\n";
  FloodText flood(static_cast<int64_t>(line1.size()) * 2 + 5);
  std::deque<uint8_t> out;
  while (!flood.done()) flood.Queue(&out);
  const std::string text(out.begin(), out.end());
  EXPECT_EQ(text, line1 + "THE QUICK BROWN FOX 0123456789 000002\r\nTHE Q");
  FloodText none(0);
  EXPECT_TRUE(none.done());
}

struct TncRun {
  TncMachine tnc{TncConfig()};
  std::string Feed(const std::string& bytes, std::vector<TncMachine::Event>* events = nullptr) {
    std::string reply;
    for (char c : bytes) {
      const TncMachine::Event e = tnc.Feed(static_cast<uint8_t>(c), &reply);
      if (events) events->push_back(e);
    }
    return reply;
  }
};

TEST(SimTnc, CommandTransmitPromptCycle) {
  TncRun run;
  std::string reply;
  run.tnc.PowerUp(&reply);
  EXPECT_EQ(reply, "cmd:");
  EXPECT_EQ(run.Feed("MODE RTTY\r\n"), "OK\r\ncmd:");  // LF after CR is ignored
  EXPECT_EQ(run.tnc.lastCommand(), "MODE RTTY");
  EXPECT_FALSE(run.tnc.transmitting());
  EXPECT_EQ(run.Feed(" x \r"), "OK\r\n");  // the transmit command, in either case
  EXPECT_TRUE(run.tnc.transmitting());
  std::vector<TncMachine::Event> events;
  EXPECT_EQ(run.Feed("CQ\r\x03X\r", &events), "CQ\r\x03X\r");  // all echoed while sending
  EXPECT_EQ(events, std::vector<TncMachine::Event>(6, TncMachine::Event::kTransmitByte));
  events.clear();
  EXPECT_EQ(run.Feed("\x04", &events), "\r\ncmd:");
  EXPECT_EQ(events[0], TncMachine::Event::kLeaveTransmit);
  EXPECT_FALSE(run.tnc.transmitting());
  EXPECT_EQ(run.Feed("\x04\r"), "\r\ncmd:");  // the receive character is no command
}

TEST(SimTnc, CommandLineEditingAndLimits) {
  TncRun run;
  EXPECT_EQ(run.Feed("XY\x08\r"), "OK\r\n");  // backspace made it the transmit command
  EXPECT_TRUE(run.tnc.transmitting());
  run.Feed("\x04");
  EXPECT_EQ(run.Feed("HALF\x03"), "\r\ncmd:");  // Ctrl-C drops the line
  EXPECT_EQ(run.Feed("\r"), "\r\ncmd:");          // so nothing is left to answer
  EXPECT_EQ(run.Feed(std::string(1000, 'A') + "\r"), "OK\r\ncmd:");
  EXPECT_EQ(run.tnc.lastCommand().size(), TncMachine::kMaxCommandLine);

  TncConfig custom;
  custom.prompt = "PK>";
  custom.txCommand = "TRANS";
  custom.ack = "";
  custom.rxChar = 0x1A;
  TncMachine tnc(custom);
  std::string reply;
  for (char c : std::string("TRANS\rHI\x1a")) tnc.Feed(static_cast<uint8_t>(c), &reply);
  EXPECT_EQ(reply, "\r\nHI\r\nPK>");
}

}  // namespace
}  // namespace sim
}  // namespace zk
