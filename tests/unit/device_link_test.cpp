#include "device/device_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/fixed_text.h"
#include "settings/settings_file.h"

namespace zk {
namespace {

using Strings = std::vector<std::string>;
using Bytes = std::vector<int>;

struct Call {
  int64_t t;
  std::string text;  // e.g. "line1 on", "write 1f", "tx 58", "post 4 65", "show 41/2"
};

std::string Hex(const char* what, uint8_t byte) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s %02x", what, byte);
  return buf;
}

// Records every call in order, stamped by a clock that only WaitMs moves.
class FakePort : public DevicePort {
 public:
  bool hasPort = true;
  bool woken = false;  // the writer's auto-reset wake-up; a wait uses it up
  int64_t now = 1000;
  std::vector<Call> calls;
  std::function<void()> duringNextWait;

  bool HasPort() const override { return hasPort; }
  void SetControlLine(int line, bool on) override {
    Log("line" + std::to_string(line) + (on ? " on" : " off"));
  }
  void Purge() override { Log("purge"); }
  bool Write(const uint8_t* bytes, int count) override {
    for (int i = 0; i < count; ++i) Log(Hex("write", bytes[i]));
    return true;
  }
  void TransmitChar(uint8_t byte) override { Log(Hex("tx", byte)); }
  void EnginePost(int code, intptr_t value) override {
    Log("post " + std::to_string(code) + " " + std::to_string(value));
  }
  void WakeWriter() override {
    woken = true;
    Log("wake");
  }
  void RequestToggle() override { Log("toggle"); }
  void LogPtt(bool on) override { Log(on ? "ptton" : "pttoff"); }
  void ShowInPane(const uint8_t* bytes, int count, int slot) override {
    for (int i = 0; i < count; ++i) Log(Hex("show", bytes[i]) + "/" + std::to_string(slot));
  }
  int64_t NowMs() override { return now; }
  bool WaitMs(int64_t ms) override {
    EXPECT_GT(ms, 0);
    now += ms;
    if (duringNextWait) {
      auto hook = std::move(duringNextWait);
      duringNextWait = nullptr;
      hook();
    }
    woken = false;
    return true;
  }

  Strings Texts() const {
    Strings out;
    for (const Call& c : calls) out.push_back(c.text);
    return out;
  }
  std::vector<Call> Named(const std::string& prefix) const {
    std::vector<Call> out;
    for (const Call& c : calls) {
      if (c.text.compare(0, prefix.size(), prefix) == 0) out.push_back(c);
    }
    return out;
  }
  Bytes Written() const {
    Bytes out;
    for (const Call& c : Named("write ")) out.push_back(std::stoi(c.text.substr(6), nullptr, 16));
    return out;
  }
  Strings Shown() const {
    Strings out;
    for (const Call& c : Named("show ")) out.push_back(c.text.substr(5));
    return out;
  }

 private:
  void Log(std::string text) { calls.push_back({now, std::move(text)}); }
};

// Replays the writes on a model of the line. Reports the most line time still owed at
// the moment of any write (how far ahead of the line the writer ran) and when the line
// finishes.
struct LineModel {
  double maxBacklog = 0;
  double minBacklogAfterFirst = 1e9;
  double freeAt = 0;
};
LineModel ReplayLine(const std::vector<Call>& writes, double characterMs) {
  LineModel m;
  for (size_t i = 0; i < writes.size(); ++i) {
    const double t = static_cast<double>(writes[i].t);
    const double backlog = std::max(0.0, m.freeAt - t);
    m.maxBacklog = std::max(m.maxBacklog, backlog);
    if (i > 0) m.minBacklogAfterFirst = std::min(m.minBacklogAfterFirst, m.freeAt - t);
    m.freeAt = std::max(m.freeAt, t) + characterMs;
  }
  return m;
}

Settings TerminalUnitSettings() {
  Settings s = DefaultSettings();
  s.devtype = kTerminalUnit;
  s.baudot = 1;
  s.diddle = 0;
  s.pttcontrol = 1;
  s.pttms = 0;
  s.ttybaud = 45;  // 5 data bits, 1.5 stop: 7.5 bits a character
  s.ttybytesize = 5;
  s.ttystop = 1;
  s.ttyparity = 0;
  return s;
}

class DeviceLinkTest : public ::testing::Test {
 protected:
  Settings s = TerminalUnitSettings();
  std::unique_ptr<TxQueue> queue = std::make_unique<TxQueue>();
  FakePort port;
  DeviceLink link{s, *queue, port};

  void Queue(const std::string& text) {
    for (char ch : text) queue->Put(ch);
  }
  // Drives the writer as its thread does: steps until false, then sleeps unless woken.
  int RunWriter() {
    int steps = 0;
    for (;;) {
      while (link.WriterStep()) {
        if (++steps > 1000) {
          ADD_FAILURE() << "writer never went idle";
          return steps;
        }
      }
      if (!port.woken) return steps;
      port.woken = false;
    }
  }
  void Steps(int n) {
    for (int i = 0; i < n; ++i) ASSERT_TRUE(link.WriterStep()) << "step " << i;
  }
  void Receive(const std::string& bytes) {
    for (char ch : bytes) link.HandleReceivedByte(static_cast<uint8_t>(ch));
  }
};

TEST_F(DeviceLinkTest, CharacterTimeFollowsLineFormat) {
  EXPECT_NEAR(link.CharacterMs(), 7.5 * 1000 / 45, 1e-9);
  s.ttybaud = 9600;
  s.ttybytesize = 8;
  s.ttystop = 2;
  s.ttyparity = 2;
  EXPECT_NEAR(link.CharacterMs(), 12 * 1000.0 / 9600, 1e-9);
  s.ttybaud = 0;
  EXPECT_EQ(link.CharacterMs(), 0.0);
  s.ttybaud = -45;
  EXPECT_EQ(link.CharacterMs(), 0.0);
}

TEST_F(DeviceLinkTest, PttByDeviceTypeAndControlLine) {
  struct Case {
    int32_t devtype, pttcontrol;
    bool hasPort;
    Strings calls;  // for SetPtt(true) then SetPtt(false)
    bool stateWhenOn;
  };
  const Case cases[] = {
      {kTnc, 1, true, {"line1 on", "line1 off"}, true},
      {kTerminalUnit, 2, true, {"line2 on", "line2 off"}, true},
      {kTnc, 0, true, {}, false},
      {kTnc, 7, true, {}, true},
      {kTerminalUnit, 1, false, {}, false},
      {kEngine, 1, true, {"ptton", "pttoff"}, true},
      {kNoDevice, 1, true, {}, false},
  };
  for (const Case& c : cases) {
    s.devtype = c.devtype;
    s.pttcontrol = c.pttcontrol;
    FakePort p;
    p.hasPort = c.hasPort;
    DeviceLink l(s, *queue, p);
    l.SetPtt(true);
    EXPECT_EQ(l.pttState(), c.stateWhenOn) << c.devtype << "/" << c.pttcontrol;
    l.SetPtt(false);
    EXPECT_FALSE(l.pttState());
    EXPECT_EQ(p.Texts(), c.calls) << c.devtype << "/" << c.pttcontrol;
  }
}

TEST_F(DeviceLinkTest, TncPttKeyedBeforeTransmitStringAndDroppedBeforeReceiveString) {
  s.devtype = kTnc;
  CopyText(s.tnctx, "X");
  CopyText(s.tncrx, "R");
  Queue("old");
  link.SwitchToTransmit();
  EXPECT_EQ(port.Texts(), (Strings{"line1 on", "purge", "tx 58"}));
  EXPECT_TRUE(queue->Empty());
  EXPECT_TRUE(link.transmitting());
  port.calls.clear();
  link.SwitchToReceive();
  EXPECT_EQ(port.Texts(), (Strings{"line1 off", "purge", "tx 52"}));
  EXPECT_FALSE(link.transmitting());
}

TEST_F(DeviceLinkTest, PttDelayHoldsBackTheFirstCharacter) {
  s.pttms = 300;
  link.SwitchToTransmit();
  Queue("E");
  RunWriter();
  const auto writes = port.Named("write");
  ASSERT_EQ(port.Written(), (Bytes{31, 31, 1}));
  EXPECT_EQ(port.Named("line1 on")[0].t, 1000);
  EXPECT_EQ(writes[0].t, 1300);

  // Without a PTT line there is nothing to wait for.
  link.SwitchToReceive();
  RunWriter();
  s.pttcontrol = 0;
  port.calls.clear();
  const int64_t start = port.now;
  link.SwitchToTransmit();
  RunWriter();
  EXPECT_EQ(port.Named("write")[0].t, start);
}

TEST_F(DeviceLinkTest, PttReleaseWaitsForTheLastCharacterOnTheLine) {
  link.SwitchToTransmit();
  Queue("RYRY");
  RunWriter();
  const double lineFree = ReplayLine(port.Named("write"), link.CharacterMs()).freeAt;
  const int64_t switchedAt = port.now;
  ASSERT_GT(lineFree, static_cast<double>(switchedAt) + 100);

  link.SwitchToReceive();
  EXPECT_EQ(port.now, switchedAt) << "the window thread waited";
  EXPECT_TRUE(port.Named("line1 off").empty());
  EXPECT_FALSE(link.pttState());
  EXPECT_EQ(port.calls.back().text, "wake");

  EXPECT_FALSE(link.WriterStep());
  const auto off = port.Named("line1 off");
  ASSERT_EQ(off.size(), 1u);
  EXPECT_GE(static_cast<double>(off[0].t), lineFree);
  EXPECT_LT(static_cast<double>(off[0].t), lineFree + 1);

  // The switch comes while the writer waits between idle codes and its wake-up is used
  // up by that wait: PTT still falls.
  s.diddle = 1;
  link.SwitchToTransmit();
  Steps(3);
  port.duringNextWait = [&] { link.SwitchToReceive(); };
  RunWriter();
  EXPECT_EQ(port.Named("line1 off").size(), 2u);
}

TEST_F(DeviceLinkTest, QuickReturnToTransmitCancelsTheRelease) {
  s.pttms = 300;
  link.SwitchToTransmit();
  Queue("RY");
  RunWriter();

  // Back to transmit before the writer got round to the release: the line stays up and
  // the PTT delay, long over, is not applied again.
  link.SwitchToReceive();
  link.SwitchToTransmit();
  const int64_t again = port.now;
  const size_t sent = port.Named("write").size();
  Queue("E");
  RunWriter();
  EXPECT_TRUE(port.Named("line1 off").empty());
  EXPECT_TRUE(link.pttState());
  EXPECT_LT(port.Named("write")[sent].t, again + 300);

  // Back to transmit while the writer waits for the tail: the late release is dropped.
  link.SwitchToReceive();
  bool switched = false;
  port.duringNextWait = [&] {
    link.SwitchToTransmit();
    switched = true;
  };
  RunWriter();
  EXPECT_TRUE(switched);
  EXPECT_TRUE(port.Named("line1 off").empty());
  EXPECT_TRUE(link.pttState());
}

TEST_F(DeviceLinkTest, SwitchToTransmitPutsTheFarEndInLetters) {
  link.SwitchToTransmit();
  EXPECT_EQ(port.Texts(), (Strings{"line1 on", "purge", "wake"}));
  Queue("5");
  RunWriter();
  EXPECT_EQ(port.Written(), (Bytes{31, 31, 27, 27, 16}));

  // The transmission ended in figures; the next one starts from letters again.
  link.SwitchToReceive();
  RunWriter();
  port.calls.clear();
  link.SwitchToTransmit();
  Queue("5");
  RunWriter();
  EXPECT_EQ(port.Written(), (Bytes{31, 31, 27, 27, 16}));

  link.SwitchToReceive();
  RunWriter();
  s.baudot = 0;
  port.calls.clear();
  link.SwitchToTransmit();
  Queue("5");
  RunWriter();
  EXPECT_EQ(port.Written(), (Bytes{'5'}));
}

TEST_F(DeviceLinkTest, IdleCodesKeepTheLineBusyWhileTransmitting) {
  s.diddle = 1;
  EXPECT_FALSE(link.WriterStep()) << "idle codes while receiving";
  link.SwitchToTransmit();
  Steps(7);
  EXPECT_EQ(port.Written(), (Bytes{31, 31, 31, 31, 31, 31, 31, 31}));
  const LineModel line = ReplayLine(port.Named("write"), link.CharacterMs());
  EXPECT_GT(line.minBacklogAfterFirst, 0.0) << "the line went quiet between idle codes";
  EXPECT_FALSE(link.codec().txFigures());

  link.SwitchToReceive();
  EXPECT_FALSE(link.WriterStep());
  s.baudot = 0;
  port.calls.clear();
  link.SwitchToTransmit();
  Steps(3);
  EXPECT_EQ(port.Written(), (Bytes{' ', ' ', ' '}));
  s.diddle = 0;
  EXPECT_FALSE(link.WriterStep());
}

TEST_F(DeviceLinkTest, TypedTextGoesAheadOfIdleCodesAndWriterStaysNearTheLine) {
  s.diddle = 1;
  link.SwitchToTransmit();
  Steps(5);
  // Typed while the writer waits for the line to take the next idle code.
  int64_t typedAt = 0;
  const size_t before = port.Named("write").size();
  port.duringNextWait = [&] {
    typedAt = port.now;
    Queue("RY");
  };
  Steps(4);
  const auto writes = port.Named("write");
  const Bytes all = port.Written();
  EXPECT_EQ(Bytes(all.begin() + static_cast<long>(before), all.end()), (Bytes{10, 21, 31, 31}));
  EXPECT_LE(static_cast<double>(writes[before].t - typedAt), link.CharacterMs());
  EXPECT_LE(ReplayLine(writes, link.CharacterMs()).maxBacklog, link.CharacterMs() / 2);
  EXPECT_EQ(port.Shown(), (Strings{"52/2", "59/2"}));
}

TEST_F(DeviceLinkTest, EndMarkEndsTerminalUnitTransmissionAndDropsTheRest) {
  link.SwitchToTransmit();
  Queue("A\xA0" "B\x1A" "CD");
  EXPECT_EQ(RunWriter(), 4);  // letters pair, A, space, B
  EXPECT_EQ(port.Written(), (Bytes{31, 31, 3, 4, 25}));
  EXPECT_EQ(port.Shown(), (Strings{"41/2", "a0/2", "42/2"}));
  EXPECT_EQ(port.Named("toggle").size(), 1u);
  EXPECT_TRUE(queue->Empty());
  // Until the window thread switches, the writer sends nothing more, idle codes included.
  EXPECT_EQ(RunWriter(), 0);
  EXPECT_EQ(port.Written(), (Bytes{31, 31, 3, 4, 25}));

  // Text the writer meets while receiving is echoed as such.
  link.SwitchToReceive();
  RunWriter();
  port.calls.clear();
  Queue("E");
  RunWriter();
  EXPECT_EQ(port.Shown(), (Strings{"45/1"}));
  EXPECT_EQ(port.Written(), (Bytes{1}));
}

TEST_F(DeviceLinkTest, TncStringSendsChunksAndAwaitsTheBracketedResponse) {
  s.devtype = kTnc;
  Queue("zz");
  link.SendTncString("X[OK]Y");
  EXPECT_EQ(port.Texts(), (Strings{"purge", "tx 58", "tx 59"}));
  EXPECT_EQ(link.awaitedResponse(), "OK");
  EXPECT_TRUE(queue->Empty());

  port.calls.clear();
  link.SendTncString("\\r[cmd:]\\x41[ok");
  EXPECT_EQ(port.Texts(), (Strings{"purge", "tx 0d", "tx 41"}));
  EXPECT_EQ(link.awaitedResponse(), "ok");

  port.calls.clear();
  link.SendTncString("A\\x00B[OK]");
  EXPECT_EQ(port.Texts(), (Strings{"purge", "tx 41"}));
  EXPECT_EQ(link.awaitedResponse(), "");

  link.SendTncString(("[" + std::string(150, 'x') + "]").c_str());
  EXPECT_EQ(link.awaitedResponse(), std::string(99, 'x'));

  port.hasPort = false;
  port.calls.clear();
  link.SendTncString("Q[R]");
  EXPECT_TRUE(port.calls.empty());
  EXPECT_EQ(link.awaitedResponse(), std::string(99, 'x'));
}

TEST_F(DeviceLinkTest, TncPromptAfterReceiveModeCharacterSwitchesToReceive) {
  s.devtype = kTnc;
  CopyText(s.command, "cmd:");
  s.rxmodechar = 0x05;
  link.SwitchToTransmit();
  port.calls.clear();
  Queue("HI\x1A");
  RunWriter();
  EXPECT_EQ(port.Written(), (Bytes{'H', 'I', 0x05}));
  EXPECT_TRUE(port.Shown().empty()) << "the TNC echoes for itself";
  EXPECT_EQ(link.armedCommand(), "cmd:");

  Receive("xCmD");
  EXPECT_TRUE(port.Named("toggle").empty());
  Receive(":");
  EXPECT_EQ(port.Named("toggle").size(), 1u);
  EXPECT_EQ(link.armedCommand(), "");
  EXPECT_EQ(port.Shown(), (Strings{"78/2", "43/2", "6d/2", "44/2", "3a/2"}));
}

TEST_F(DeviceLinkTest, TncPromptIgnoredWhileReceivingOrAwaitingAResponse) {
  s.devtype = kTnc;
  CopyText(s.command, "cmd:");
  s.rxmodechar = 0;
  link.SwitchToTransmit();
  Queue("\x1A");
  RunWriter();
  EXPECT_EQ(port.Written(), (Bytes{0x1A}));
  link.SendTncString("[OK]");
  Receive("cmd:");
  EXPECT_TRUE(port.Named("toggle").empty());
  Receive("ok");
  EXPECT_EQ(link.awaitedResponse(), "");
  EXPECT_TRUE(port.Named("toggle").empty());
  Receive("cmd:");
  EXPECT_EQ(port.Named("toggle").size(), 1u);

  Queue("\x1A");
  RunWriter();
  link.SwitchToReceive();
  Receive("cmd:");
  EXPECT_EQ(port.Named("toggle").size(), 1u);
  EXPECT_EQ(link.armedCommand(), "cmd:");

  s.command[0] = '\0';
  link.Reset();
  link.SwitchToTransmit();
  Queue("\x1A");
  RunWriter();
  EXPECT_EQ(link.armedCommand(), "");
}

TEST_F(DeviceLinkTest, TerminalUnitReceiveDecodesFiltersAndMutesWhileTransmitting) {
  const uint8_t codes[] = {27, 1, 31, 1, 0, 0xE1, 8, 8, 27, 8, 2};
  for (uint8_t code : codes) link.HandleReceivedByte(code);
  // "3E", nothing for the zero, "E" from the low five bits, one CR for CR CR and for
  // CR FIGS CR, then LF.
  EXPECT_EQ(port.Shown(), (Strings{"33/1", "45/1", "45/1", "0d/1", "0a/1"}));

  port.calls.clear();
  link.HandleReceivedByte(8);
  link.SwitchToTransmit();
  link.HandleReceivedByte(1);
  link.SwitchToReceive();
  link.HandleReceivedByte(8);  // the switch forgot the last CR
  EXPECT_EQ(port.Shown(), (Strings{"0d/1", "0d/1"}));

  s.baudot = 0;
  port.calls.clear();
  Receive("a\r\r");
  EXPECT_EQ(port.Shown(), (Strings{"61/1", "0d/1"}));
}

TEST_F(DeviceLinkTest, TncReceiveShowsOwnEchoInTransmitColour) {
  s.devtype = kTnc;
  Receive("a\r");
  link.SwitchToTransmit();
  port.calls.clear();
  Receive(std::string("\rb\0\r\r", 5));
  EXPECT_EQ(port.Shown(), (Strings{"0d/2", "62/2", "0d/2"}));
}

TEST_F(DeviceLinkTest, EngineGetsModeRequestsAndCharacters) {
  s.devtype = kEngine;
  link.SwitchToTransmit();
  Queue("ABC\x1A" "D");
  EXPECT_EQ(RunWriter(), 3);
  EXPECT_FALSE(link.WriterStep()) << "a later wake-up asks again";
  EXPECT_EQ(port.Texts(), (Strings{"ptton", "post 3 2", "post 4 65", "post 4 66", "post 4 67",
                                   "post 3 1", "post 3 1"}));
  EXPECT_EQ(queue->Count(), 2u) << "the end mark stays for the engine's report";

  port.calls.clear();
  link.SwitchToReceive();
  EXPECT_EQ(port.Texts(), (Strings{"pttoff", "post 3 0"}));
  queue->Flush();
  Queue("\xE9");
  RunWriter();
  EXPECT_EQ(port.calls.back().text, "post 4 -23");
}

// A port for two real threads: a fake clock, an auto-reset wake-up, and a record of
// whether every byte went out with PTT up.
class ThreadedPort : public DevicePort {
 public:
  bool HasPort() const override { return true; }
  void SetControlLine(int, bool on) override {
    std::lock_guard<std::mutex> lock(m_);
    lineUp_ = on;
  }
  void Purge() override {}
  bool Write(const uint8_t* bytes, int count) override {
    std::lock_guard<std::mutex> lock(m_);
    for (int i = 0; i < count; ++i) {
      if (!lineUp_) ++writesWithPttDown_;
      if (bytes[i] != ' ') written_ += static_cast<char>(bytes[i]);
    }
    return true;
  }
  void TransmitChar(uint8_t) override {}
  void EnginePost(int, intptr_t) override {}
  void WakeWriter() override {
    std::lock_guard<std::mutex> lock(m_);
    wake_ = true;
    cv_.notify_all();
  }
  void RequestToggle() override {}
  void LogPtt(bool) override {}
  void ShowInPane(const uint8_t*, int, int) override {}
  int64_t NowMs() override { return now_; }
  bool WaitMs(int64_t ms) override {
    now_ += ms;
    return true;
  }

  void WaitForWake() {
    std::unique_lock<std::mutex> lock(m_);
    cv_.wait_for(lock, std::chrono::seconds(5), [this] { return wake_; });
    wake_ = false;
  }
  bool lineUp() {
    std::lock_guard<std::mutex> lock(m_);
    return lineUp_;
  }
  std::string written() {
    std::lock_guard<std::mutex> lock(m_);
    return written_;
  }
  int writesWithPttDown() {
    std::lock_guard<std::mutex> lock(m_);
    return writesWithPttDown_;
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool wake_ = false;
  bool lineUp_ = false;
  int writesWithPttDown_ = 0;
  std::string written_;
  std::atomic<int64_t> now_{1000};
};

bool WaitUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

TEST(DeviceLinkThreads, SwitchingWhileTheWriterRunsLosesAndRepeatsNothing) {
  Settings s = TerminalUnitSettings();
  s.baudot = 0;  // bytes as queued; idle characters are spaces
  s.diddle = 1;
  s.pttms = 3;
  s.ttybaud = 9600;
  s.ttybytesize = 8;
  auto queue = std::make_unique<TxQueue>();
  ThreadedPort port;
  DeviceLink link(s, *queue, port);

  std::atomic<bool> stop{false};
  std::thread writer([&] {
    while (!stop) {
      if (!link.WriterStep()) port.WaitForWake();
    }
  });

  std::string expected;
  for (int round = 0; round < 200; ++round) {
    link.SwitchToTransmit();
    for (int i = 0; i < 20; ++i) {
      const char ch = static_cast<char>('A' + (round + i) % 26);
      queue->Put(ch);
      expected += ch;
      port.WakeWriter();
    }
    ASSERT_TRUE(WaitUntil([&] { return queue->Empty(); })) << "round " << round;
    link.SwitchToReceive();
  }
  EXPECT_TRUE(WaitUntil([&] { return !port.lineUp(); })) << "PTT never released";
  stop = true;
  port.WakeWriter();
  writer.join();

  EXPECT_EQ(port.written(), expected);
  EXPECT_EQ(port.writesWithPttDown(), 0);
  EXPECT_FALSE(link.pttState());
}

}  // namespace
}  // namespace zk
