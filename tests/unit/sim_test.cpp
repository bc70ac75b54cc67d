#include <gtest/gtest.h>

#include <deque>
#include <set>
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

TEST(SimPacing, CharacterTimeAndAbsoluteDeadlines) {
  // 45.45 baud with 1.5 stop bits: 7.5 bit times, 165 ms, about 6.06 characters a second.
  EXPECT_NEAR(CharacterTimeNs(45.45, 7.5, 1), 165016502, 1);
  EXPECT_NEAR(CharacterTimeNs(45.45, 7.5, 100), 1650165, 1);
  EXPECT_NEAR(CharacterTimeNs(115200, 10, 1), 86806, 1);
  EXPECT_EQ(CharacterTimeNs(0, 10, 1), 0);
  EXPECT_EQ(CharacterTimeNs(9600, 10, 0), 0);
  EXPECT_EQ(CharacterTimeNs(-5, 10, 1), 0);

  const int64_t p = 165 * kNsPerMs, t0 = 1000 * kNsPerMs;
  LinePacer pacer(p);
  EXPECT_TRUE(pacer.Ready(t0));
  pacer.Use(t0);
  EXPECT_FALSE(pacer.Ready(t0 + p - 1));
  // Each wake-up comes 3 ms late; the slots stay on the original grid.
  for (int k = 1; k <= 50; ++k) {
    const int64_t late = pacer.NextSlot() + 3 * kNsPerMs;
    ASSERT_TRUE(pacer.Ready(late));
    pacer.Use(late);
    ASSERT_EQ(pacer.NextSlot(), t0 + (k + 1) * p);
  }
}

TEST(SimPacing, IdleOrVeryLateLineRestartsAtNow) {
  LinePacer pacer(10 * kNsPerMs);
  pacer.Use(0);
  pacer.MarkIdle();  // nothing was waiting when the slot came
  pacer.Use(13 * kNsPerMs);
  EXPECT_EQ(pacer.NextSlot(), 23 * kNsPerMs);
  pacer.Use(500 * kNsPerMs);  // later than the catch-up limit: no burst of missed slots
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

// Each step as kind letter, line number and payload.
std::string Steps(const Script& s) {
  std::string out;
  for (const ScriptStep& step : s.steps) {
    out += "TPNRW"[static_cast<int>(step.kind)] + std::to_string(step.line) + ":" + step.text;
    if (step.amount != 0) out += std::to_string(step.amount);
    for (uint8_t b : step.bytes) out += std::to_string(b) + ",";
    out += "|";
  }
  return out;
}

TEST(SimScript, ParsesTextCommentsDirectivesAndCutsLongLines) {
  const Script s = Parsed(
      "# heading\r\nCQ DE W1AW\r\n\n@pause 1500\n@noise 0x10\n@raw 31 0x1b 1\n"
      "@wait-rx  de k1abc  \n@@home\n#last");
  // The CR of a CR LF file is dropped; a blank line is a newline.
  EXPECT_EQ(Steps(s), "T2:CQ DE W1AW\n|T3:\n|P4:1500|N5:16|R6:31,27,1,|W7:de k1abc|T8:@home\n|");
  EXPECT_EQ(Steps(Parsed("@raw 255 0xff", 255)), "R1:255,255,|");
  const Script cut = Parsed(std::string(5000, 'R') + "\nY");
  EXPECT_EQ(Steps(cut), "T1:" + std::string(kMaxScriptLine - 1, 'R') + "\n|T2:Y\n|");
}

std::string ParseError(const std::string& text, int maxRaw = 31) {
  Script s;
  std::string error;
  EXPECT_FALSE(ParseScript(text, maxRaw, &s, &error)) << text;
  EXPECT_TRUE(s.steps.empty()) << text;
  return error;
}

TEST(SimScript, RejectsMalformedDirectivesWithTheLineNumber) {
  EXPECT_EQ(ParseError("ok\n@paws 10"), "line 2: unknown directive @paws");
  EXPECT_EQ(ParseError("@pause").find("line 1: @pause"), 0u);
  for (const char* bad : {"@pause 10 20", "@pause -5", "@pause 3600001",
                          "@pause 99999999999999999999999"})  // refused, not wrapped
    EXPECT_NE(ParseError(bad).find("@pause"), std::string::npos) << bad;
  EXPECT_NE(ParseError("@noise 12x").find("@noise"), std::string::npos);
  EXPECT_NE(ParseError("@raw 32").find("\"32\""), std::string::npos);  // five-bit codes only
  EXPECT_NE(ParseError("@raw 0x100", 255).find("0x100"), std::string::npos);
  EXPECT_NE(ParseError("@raw").find("@raw"), std::string::npos);
  EXPECT_NE(ParseError("@wait-rx   ").find("@wait-rx"), std::string::npos);
}

std::string Drain(ScriptPlayer& player, int64_t now, RxWatch& watch, int64_t* wakeAt) {
  std::string out;
  ScriptItem item;
  while (player.Next(now, watch, &item, wakeAt)) out.push_back(static_cast<char>(item.value));
  return out;
}

void Hear(RxWatch& watch, const std::string& text) {
  for (char c : text) watch.Add(c);
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
  Hear(watch, "CQ De W1A");
  EXPECT_EQ(Drain(player, 30 * kNsPerMs, watch, &wake), "");
  Hear(watch, "w");
  EXPECT_EQ(Drain(player, 31 * kNsPerMs, watch, &wake), "D\n");
  // The first match was consumed: the same words must come again.
  EXPECT_EQ(Drain(player, 32 * kNsPerMs, watch, &wake), "");
  Hear(watch, " DE W1AW");
  EXPECT_EQ(Drain(player, 33 * kNsPerMs, watch, &wake), "E\n");
  EXPECT_TRUE(player.finished());

  RxWatch recent;  // keeps recent text only
  Hear(recent, std::string(300000, 'R') + "NAME HIRAM");
  EXPECT_TRUE(recent.Consume("name hiram"));
  EXPECT_FALSE(recent.Consume("R"));  // everything before the match is spent
  EXPECT_TRUE(recent.Consume(""));
}

TEST(SimPlayer, NoiseRepeatsAcrossRunsAndLoopsRestart) {
  const Script s = Parsed("@noise 40\n@raw 1 2\nK");
  RxWatch watch;
  int64_t wake = 0;
  ScriptPlayer first(&s, false, 1), second(&s, false, 1);
  const std::string a = Drain(first, 0, watch, &wake);
  EXPECT_EQ(Drain(second, 0, watch, &wake), a);
  ASSERT_EQ(a.size(), 40u + 2 + 2);
  EXPECT_EQ(a.substr(40), "\x01\x02K\n");
  EXPECT_GT(std::set<char>(a.begin(), a.begin() + 40).size(), 20u);  // noise, not a constant

  ScriptPlayer looped(&s, true, 1);
  ScriptItem item;
  std::string out;
  for (int i = 0; i < 88 && looped.Next(0, watch, &item, &wake); ++i)
    out.push_back(static_cast<char>(item.value));
  EXPECT_EQ(out.substr(0, 44), a);
  EXPECT_EQ(out.substr(84), "\x01\x02K\n");
  EXPECT_FALSE(looped.finished());

  const Script nothing = Parsed("# only a comment\n@pause 0");  // a loop of nothing ends
  ScriptPlayer empty(&nothing, true, 1);
  EXPECT_EQ(Drain(empty, 0, watch, &wake), "");
  EXPECT_TRUE(empty.finished());
  EXPECT_EQ(wake, kNever);
}

std::vector<uint8_t> Codes(TuSender& sender, const std::vector<ScriptItem>& items) {
  std::deque<uint8_t> out;
  for (const ScriptItem& item : items) sender.Queue(item, &out);
  return std::vector<uint8_t>(out.begin(), out.end());
}

ScriptItem Text(char c) { return {ScriptItem::Kind::kText, static_cast<uint8_t>(c)}; }
ScriptItem Raw(uint8_t v) { return {ScriptItem::Kind::kRaw, v}; }

TEST(SimTuSender, EncodesTextAndSaysLettersAgainAfterShiftCodes) {
  using Codes_ = std::vector<uint8_t>;
  TuSender sender;
  EXPECT_EQ(Codes(sender, {Text('A'), Text('1'), Text(' '), Text('b'), Text('\n')}),
            (Codes_{3, 27, 27, 23, 31, 31, 4, 25, 31, 31, 8, 2}));
  // No shift code among the exact codes: the text follows directly.
  EXPECT_EQ(Codes(sender, {Raw(8), Raw(2), Text('E')}), (Codes_{8, 2, 1}));
  // A figures shift sent raw would make "E" print as "3" without the resync.
  EXPECT_EQ(Codes(sender, {Raw(27), Text('E'), Text('T')}), (Codes_{27, 31, 31, 1, 16}));
  // A raw letters shift leaves the far end in letters while the codec thinks figures.
  EXPECT_EQ(Codes(sender, {Text('1'), Raw(31), Text('2')}), (Codes_{27, 27, 23, 31, 31, 31, 27, 27, 19}));
  // Noise values keep only their five code bits; 0xFB is a figures shift.
  EXPECT_EQ(Codes(sender, {{ScriptItem::Kind::kNoise, 0xFB}, Text('E')}), (Codes_{27, 31, 31, 1}));
}

TEST(SimFlood, MakesExactlyTheAskedBytesOfNumberedLines) {
  const std::string line1 = "THE QUICK BROWN FOX 0123456789 000001\r\n";
  FloodText flood(static_cast<int64_t>(line1.size()) * 2 + 5);
  std::deque<uint8_t> out;
  while (!flood.done()) flood.Queue(&out);
  EXPECT_EQ(std::string(out.begin(), out.end()),
            line1 + "THE QUICK BROWN FOX 0123456789 000002\r\nTHE Q");
  EXPECT_TRUE(FloodText(0).done());
}

std::string Feed(TncMachine& tnc, const std::string& bytes, std::string* events = nullptr) {
  std::string reply;
  for (char c : bytes) {
    const TncMachine::Event e = tnc.Feed(static_cast<uint8_t>(c), &reply);
    if (events) *events += "-CETL"[static_cast<int>(e)];
  }
  return reply;
}

TEST(SimTnc, CommandTransmitPromptCycle) {
  TncMachine tnc{TncConfig()};
  std::string reply;
  tnc.PowerUp(&reply);
  EXPECT_EQ(reply, "cmd:");
  EXPECT_EQ(Feed(tnc, "MODE RTTY\r\n"), "OK\r\ncmd:");  // LF after CR is ignored
  EXPECT_EQ(tnc.lastCommand(), "MODE RTTY");
  EXPECT_FALSE(tnc.transmitting());
  std::string events;
  EXPECT_EQ(Feed(tnc, " x \r", &events), "OK\r\n");  // the transmit command, in either case
  EXPECT_TRUE(tnc.transmitting());
  EXPECT_EQ(Feed(tnc, "CQ\r\x03X\r\x04", &events), "CQ\r\x03X\r\r\ncmd:");  // echoed
  EXPECT_EQ(events, "---ETTTTTTL");
  EXPECT_FALSE(tnc.transmitting());
  EXPECT_EQ(Feed(tnc, "\x04\r"), "\r\ncmd:");  // the receive character is no command

  EXPECT_EQ(Feed(tnc, "XY\x08\r"), "OK\r\n");  // backspace made it the transmit command
  EXPECT_TRUE(tnc.transmitting());
  Feed(tnc, "\x04");
  EXPECT_EQ(Feed(tnc, "HALF\x03"), "\r\ncmd:");  // Ctrl-C drops the line
  EXPECT_EQ(Feed(tnc, "\r"), "\r\ncmd:");          // so nothing is left to answer
  EXPECT_EQ(Feed(tnc, std::string(1000, 'A') + "\r"), "OK\r\ncmd:");
  EXPECT_EQ(tnc.lastCommand().size(), TncMachine::kMaxCommandLine);

  TncConfig custom;
  custom.prompt = "PK>";
  custom.txCommand = "TRANS";
  custom.ack = "";
  custom.rxChar = 0x1A;
  TncMachine pk(custom);
  EXPECT_EQ(Feed(pk, "TRANS\rHI\x1a"), "\r\nHI\r\nPK>");
}

}  // namespace
}  // namespace sim
}  // namespace zk
