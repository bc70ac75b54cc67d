#include "engine/engine_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zk {
namespace {

// Records each call as a word: "post 7 32771 65" is 0x8003 with 'A' to window 7.
struct FakeHost : TerminalLink, EngineHost {
  void Announce() override { calls.push_back("announce"); }
  void Post(intptr_t window, uint32_t code, intptr_t value) override {
    calls.push_back("post " + std::to_string(window) + " " + std::to_string(code) + " " + std::to_string(value));
  }
  void Linked() override { calls.push_back("linked"); }
  void Receive() override { calls.push_back("receive"); }
  void Transmit() override { calls.push_back("transmit"); }
  void Finish() override { calls.push_back("finish"); }
  void Send(char ch) override { calls.push_back(std::string("send ") + ch); }
  void Exit() override { calls.push_back("exit"); }
  std::vector<std::string> Take() { return std::exchange(calls, {}); }
  std::vector<std::string> calls;
};

using Calls = std::vector<std::string>;

TEST(EngineRules, AnnouncesUntilAnsweredThenAnswersOnlyThatWindow) {
  FakeHost host;
  EngineRules rules(host, host, true);
  rules.Start(0);
  rules.Decoded('A');  // nobody to tell yet
  for (int ms = 100; ms <= 12000; ms += 100) rules.Tick(ms, 2125, 10);
  EXPECT_EQ(host.Take().size(), static_cast<size_t>(kAnnounceTries));
  rules.Handle(engine::kReply, 0);  // no window: not an answer
  rules.Handle(engine::kAnnounce, 5);  // our own broadcast coming back
  rules.Handle(0x7FFFFFFF, 1);
  EXPECT_EQ(host.Take(), Calls{});
  rules.Handle(engine::kReply, 7);
  rules.Handle(engine::kReply, 7);
  rules.Decoded('\xE9');
  EXPECT_EQ(host.Take(), (Calls{"linked", "post 7 32771 233"}));

  EngineRules alone(host, host, false);  // started by the operator: one announcement
  alone.Start(0);
  for (int ms = 100; ms <= 5000; ms += 100) alone.Tick(ms, 2125, 10);
  EXPECT_EQ(host.Take(), Calls{"announce"});
}

TEST(EngineRules, ATransmissionFromStartToTheEndReport) {
  FakeHost host;
  EngineRules rules(host, host, true);
  rules.Handle(engine::kReply, 7);
  host.Take();
  const struct {
    uintptr_t code;
    intptr_t value;
    Calls expected;
  } steps[] = {
      {engine::kSend, 'X', {}},  // nothing is sent while receiving
      {engine::kMode, engine::kModeFinish, {"post 7 32772 0"}},  // nothing to finish: done at once
      {engine::kMode, engine::kModeReceive, {}},
      {engine::kMode, engine::kModeTransmit, {"transmit"}},
      {engine::kMode, engine::kModeTransmit, {}},
      {engine::kSend, 0x141, {"send A"}},
      {engine::kMode, 7, {}},
      {engine::kMode, engine::kModeFinish, {"finish"}},
      {engine::kMode, engine::kModeFinish, {}},
      {engine::kSend, 'B', {"send B"}},  // typed while the end is under way still goes out
  };
  for (const auto& s : steps) {
    rules.Handle(s.code, s.value);
    EXPECT_EQ(host.Take(), s.expected) << s.code << " " << s.value;
  }
  rules.Decoded('Q');  // the receiver hearing the station itself is not shown
  rules.Echoed('A');
  rules.TransmissionEnded();
  rules.TransmissionEnded();
  rules.Echoed('B');  // too late: the terminal is receiving
  EXPECT_EQ(host.Take(), (Calls{"post 7 32771 65", "post 7 32772 0"}));

  rules.Handle(engine::kMode, engine::kModeTransmit);
  rules.Handle(engine::kMode, engine::kModeReceive);
  rules.TransmissionEnded();  // the end of a transmission the terminal broke off: no report
  rules.Handle(engine::kExit, 0);
  EXPECT_EQ(host.Take(), (Calls{"transmit", "receive", "exit"}));
}

TEST(EngineRules, ReportsBothNumbersTwiceASecondWhileTheyChange) {
  FakeHost host;
  EngineRules rules(host, host, true);
  rules.Tick(0, 2125, 3);  // not linked: nothing
  rules.Handle(engine::kReply, 7);
  host.Take();
  rules.Tick(100, 2125.4, 3.4);
  rules.Tick(200, 2131, 4);  // within half a second of the last report
  EXPECT_EQ(host.Take(), (Calls{"post 7 32775 2125", "post 7 32776 3"}));
  rules.Tick(600, 2131, 4);
  rules.Tick(1100, 2131, 4.2);  // unchanged
  rules.Tick(1200, 2131, -150);
  EXPECT_EQ(host.Take(), (Calls{"post 7 32775 2131", "post 7 32776 4", "post 7 32776 -99"}));
  rules.Handle(engine::kSync, 0);  // asks for both now
  rules.Tick(1300, 2131, -150);
  EXPECT_EQ(host.Take(), (Calls{"post 7 32775 2131", "post 7 32776 -99"}));
}

}  // namespace
}  // namespace zk
