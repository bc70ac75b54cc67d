#include "device/device_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/fixed_text.h"
#include "device/tnc_match.h"
#include "device/tx_queue.h"
#include "settings/settings_file.h"

namespace zk {
namespace {

struct Call {
  int64_t t;
  std::string text;  // e.g. "line1 on", "write 31", "tx 88", "post 4 65", "show 65/2"
};

// Records every call in order, stamped by a clock that only WaitMs moves. The record, the
// clock and the wake-up also serve a writer on a thread of its own.
class FakePort : public DevicePort {
 public:
  bool hasPort = true;
  std::atomic<bool> woken{false};  // the writer's auto-reset wake-up; a wait uses it up
  std::atomic<bool> lineUp{false};
  std::atomic<int64_t> now{1000};
  std::vector<Call> calls;
  std::function<void()> duringNextWait;
  double txCharMs = 0;  // a character's time on the line, for TransmitChar
  int64_t txFreeAt = 0;

  bool HasPort() const override { return hasPort; }
  void SetControlLine(PttLine line, bool on) override {
    lineUp = on;
    Log("line" + std::to_string(static_cast<int>(line)) + (on ? " on" : " off"));
  }
  void Purge() override { Log("purge"); }
  bool Write(const uint8_t* bytes, int count) override {
    for (int i = 0; i < count; ++i) Log("write " + std::to_string(bytes[i]));
    return true;
  }
  // As Windows documents it: refused while the character before has not gone out.
  bool TransmitChar(uint8_t byte) override {
    if (now < txFreeAt) return false;
    txFreeAt = now + static_cast<int64_t>(std::ceil(txCharMs));
    Log("tx " + std::to_string(byte));
    return true;
  }
  void EnginePost(uint32_t code, intptr_t value) override {
    Log("post " + std::to_string(code) + " " + std::to_string(value));
  }
  void WakeWriter() override {
    Log("wake");
    std::lock_guard<std::mutex> lock(wakeMutex_);
    woken = true;
    wakeUp_.notify_all();
  }
  void WaitForWake() {
    std::unique_lock<std::mutex> lock(wakeMutex_);
    wakeUp_.wait_for(lock, std::chrono::seconds(5), [this] { return woken.load(); });
    woken = false;
  }
  void RequestToggle() override { Log("toggle"); }
  void LogPtt(bool on) override { Log(on ? "ptton" : "pttoff"); }
  void ShowInPane(const uint8_t* bytes, int count, int slot) override {
    for (int i = 0; i < count; ++i) Log("show " + std::to_string(bytes[i]) + "/" + std::to_string(slot));
  }
  int64_t NowMs() override { return now; }
  bool WaitMs(int64_t ms) override {
    EXPECT_GT(ms, 0);
    now += ms;
    if (auto hook = std::move(duringNextWait)) {
      duringNextWait = nullptr;
      hook();
    }
    woken = false;
    return true;
  }

  // The calls starting with `prefix`, the prefix cut off.
  std::vector<Call> Named(const std::string& prefix) const {
    std::vector<Call> out;
    for (const Call& c : calls)
      if (c.text.compare(0, prefix.size(), prefix) == 0) out.push_back({c.t, c.text.substr(prefix.size())});
    return out;
  }
  // The same as one line of texts separated by blanks, or by "|" without a prefix.
  std::string Texts(const std::string& prefix = "") const {
    std::string out;
    for (const Call& c : Named(prefix)) out += (out.empty() ? "" : prefix.empty() ? "|" : " ") + c.text;
    return out;
  }
  size_t Count(const std::string& prefix) const { return Named(prefix).size(); }
  // When the i-th call with `prefix` came; -1 when there was none.
  int64_t TimeOf(const std::string& prefix, size_t i) const {
    const std::vector<Call> named = Named(prefix);
    return i < named.size() ? named[i].t : -1;
  }
  std::string Last() const { return calls.empty() ? "(none)" : calls.back().text; }

 private:
  std::mutex logMutex_, wakeMutex_;
  std::condition_variable wakeUp_;
  void Log(std::string text) {
    std::lock_guard<std::mutex> lock(logMutex_);
    calls.push_back({now, std::move(text)});
  }
};

// Replays the writes on a model of the line: the most line time still owed at any write
// (how far ahead of the line the writer ran), the least owed after the first write
// (not above 0: the line went quiet), and when the line finishes.
struct LineModel {
  double maxBacklog = 0, minBacklogAfterFirst = 1e9, freeAt = 0;
};
LineModel ReplayLine(const std::vector<Call>& writes, double characterMs) {
  LineModel m;
  for (size_t i = 0; i < writes.size(); ++i) {
    const double t = static_cast<double>(writes[i].t);
    m.maxBacklog = std::max(m.maxBacklog, m.freeAt - t);
    if (i > 0) m.minBacklogAfterFirst = std::min(m.minBacklogAfterFirst, m.freeAt - t);
    m.freeAt = std::max(m.freeAt, t) + characterMs;
  }
  return m;
}

Settings TerminalUnitSettings() {
  Settings s = DefaultSettings();
  s.serial.device = DeviceType::kTerminalUnit;
  s.options.baudot = 1;
  s.options.diddle = 0;
  s.options.ptt = PttLine::kRts;
  s.serial.baud = 45;
  s.serial.dataBits = 5;
  s.serial.stopBits = StopBits::kOneAndHalf;  // 7.5 bits a character
  return s;
}

class DeviceLinkTest : public ::testing::Test {
 protected:
  Settings s = TerminalUnitSettings();
  std::unique_ptr<TxQueue> queue = std::make_unique<TxQueue>();
  FakePort port;
  DeviceLink link{s, *queue, port};

  // Queues text, then drives the writer as its thread does: steps until false, then
  // sleeps unless woken. Returns the number of steps that reported more to do.
  int Send(const std::string& text = "") {
    for (char ch : text) queue->Put(ch);
    int steps = 0;
    do {
      port.woken = false;
      while (link.WriterStep())
        if (++steps > 1000) return ADD_FAILURE() << "writer never went idle", steps;
    } while (port.woken);
    return steps;
  }
  void Steps(int n) {
    for (int i = 0; i < n; ++i) ASSERT_TRUE(link.WriterStep()) << "step " << i;
  }
  // Forgets the calls so far, feeds received bytes and returns what they showed.
  std::string Receive(const std::string& bytes) {
    port.calls.clear();
    for (char ch : bytes) link.HandleReceivedByte(static_cast<uint8_t>(ch));
    return port.Texts("show ");
  }
};

TEST_F(DeviceLinkTest, CharacterTimeFollowsLineFormat) {
  EXPECT_NEAR(link.CharacterMs(), 7.5 * 1000 / 45, 1e-9);
  s.serial.baud = 9600;
  s.serial.dataBits = 8;
  s.serial.stopBits = StopBits::kTwo;
  s.serial.parity = 2;
  EXPECT_NEAR(link.CharacterMs(), 12 * 1000.0 / 9600, 1e-9);
  s.serial.baud = -45;
  EXPECT_EQ(link.CharacterMs(), 0.0);
}

TEST_F(DeviceLinkTest, PttByDeviceTypeAndControlLine) {
  using D = DeviceType;
  const struct {
    D device;
    int32_t ptt;
    bool hasPort, stateWhenOn;
    const char* calls;  // for SetPtt(true) then SetPtt(false)
  } cases[] = {
      {D::kTnc, 1, true, true, "line1 on|line1 off"},
      {D::kTerminalUnit, 2, true, true, "line2 on|line2 off"},
      {D::kTnc, 0, true, false, ""},
      {D::kTnc, 7, true, true, ""},
      {D::kTerminalUnit, 1, false, false, ""},
      {D::kEngine, 1, true, true, "ptton|pttoff"},
      {D::kNone, 1, true, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << static_cast<int>(c.device) << "/" << c.ptt << "/" << c.hasPort);
    s.serial.device = c.device;
    s.options.ptt = static_cast<PttLine>(c.ptt);
    FakePort p;
    p.hasPort = c.hasPort;
    DeviceLink l(s, *queue, p);
    l.SetPtt(true);
    EXPECT_EQ(l.pttState(), c.stateWhenOn);
    l.SetPtt(false);
    EXPECT_FALSE(l.pttState());
    EXPECT_EQ(p.Texts(), c.calls);
  }
}

TEST_F(DeviceLinkTest, PttDelayHoldsBackTheFirstCharacterOfATransmissionOnly) {
  s.options.pttDelayMs = 300;
  link.SwitchToTransmit();
  EXPECT_EQ(port.Texts(), "line1 on|purge|wake");
  Send("5");
  EXPECT_EQ(port.Texts("write "), "31 31 27 27 16");  // the far end starts in letters
  EXPECT_EQ(port.TimeOf("write", 0), 1300);

  // Back to transmit before the writer got round to the release: the line stays up, the
  // far end is put in letters again, and the delay, long over, is not applied again.
  link.SwitchToReceive();
  link.SwitchToTransmit();
  int64_t again = port.now;
  Send();
  EXPECT_EQ(port.Texts("write "), "31 31 27 27 16 31 31");
  const int64_t pair = port.TimeOf("write", 5);  // waits for the line, not for the delay
  EXPECT_TRUE(pair >= again && pair < again + 300) << pair;
  // Back to transmit while the writer waits for the tail: the late release is dropped.
  link.SwitchToReceive();
  port.duringNextWait = [&] { link.SwitchToTransmit(); };
  Send();
  EXPECT_FALSE(port.duringNextWait);
  EXPECT_EQ(port.Count("line1 off"), 0u);
  EXPECT_TRUE(link.pttState());
  // Back to receive while the delay of a new keying still holds everything back: nothing
  // is on the line, and PTT falls at once.
  link.SwitchToReceive();
  Send();
  s.options.pttDelayMs = 2000;
  port.calls.clear();
  link.SwitchToTransmit();
  port.now += 100;
  link.SwitchToReceive();
  EXPECT_EQ(port.Texts("line1 "), "on off");
  Send();
  EXPECT_EQ(port.Count("write"), 0u);
}

TEST_F(DeviceLinkTest, PttReleaseWaitsForTheLastCharacterOnTheLine) {
  link.SwitchToTransmit();
  Send("RYRY");
  const double lineFree = ReplayLine(port.Named("write"), link.CharacterMs()).freeAt;
  const int64_t switchedAt = port.now;
  ASSERT_GT(lineFree, static_cast<double>(switchedAt) + 100);
  link.SwitchToReceive();
  EXPECT_EQ(port.now.load(), switchedAt) << "the window thread waited";
  EXPECT_EQ(port.Count("line1 off"), 0u);
  EXPECT_FALSE(link.pttState());
  EXPECT_EQ(port.Last(), "wake");
  EXPECT_FALSE(link.WriterStep());
  const auto off = port.Named("line1 off");
  ASSERT_EQ(off.size(), 1u);
  EXPECT_TRUE(off[0].t >= lineFree && off[0].t < lineFree + 1) << off[0].t;

  // The switch comes while the writer waits between idle codes and its wake-up is used
  // up by that wait: PTT still falls.
  s.options.diddle = 1;
  link.SwitchToTransmit();
  Steps(3);
  port.duringNextWait = [&] { link.SwitchToReceive(); };
  Send();
  EXPECT_EQ(port.Count("line1 off"), 2u);
}

TEST_F(DeviceLinkTest, IdleCodesKeepTheLineBusyAndTypedTextGoesAhead) {
  s.options.diddle = 1;
  EXPECT_FALSE(link.WriterStep()) << "idle codes while receiving";
  link.SwitchToTransmit();
  Steps(5);
  EXPECT_EQ(port.Texts("write "), "31 31 31 31 31 31");  // letters pair and idle codes
  int64_t typedAt = 0;                                   // typed while the writer waits for the line
  port.duringNextWait = [&] {
    typedAt = port.now;
    for (char c : {'R', 'Y'}) queue->Put(c);
  };
  Steps(4);
  const auto writes = port.Named("write");
  EXPECT_EQ(port.Texts("write "), "31 31 31 31 31 31 10 21 31 31");
  EXPECT_LE(static_cast<double>(port.TimeOf("write", 6) - typedAt), link.CharacterMs());
  const LineModel line = ReplayLine(writes, link.CharacterMs());
  EXPECT_GT(line.minBacklogAfterFirst, 0.0) << "the line went quiet";
  EXPECT_LE(line.maxBacklog, link.CharacterMs() / 2) << "the writer ran ahead of the line";
  EXPECT_EQ(port.Texts("show "), "82/2 89/2");
  EXPECT_FALSE(link.codec().txFigures());

  link.SwitchToReceive();
  EXPECT_FALSE(link.WriterStep());
  s.options.baudot = 0;
  port.calls.clear();
  link.SwitchToTransmit();
  Steps(3);
  EXPECT_EQ(port.Texts("write "), "32 32 32");
  s.options.diddle = 0;
  EXPECT_FALSE(link.WriterStep());
}

TEST_F(DeviceLinkTest, EndMarkEndsTerminalUnitTransmissionAndDropsTheRest) {
  link.SwitchToTransmit();
  EXPECT_EQ(Send("A\xA0"
                 "B\x1A"
                 "CD"),
            4);  // letters pair, A, space, B
  EXPECT_EQ(port.Texts("write "), "31 31 3 4 25");
  EXPECT_EQ(port.Texts("show "), "65/2 160/2 66/2");
  EXPECT_EQ(port.Count("toggle"), 1u);
  EXPECT_TRUE(queue->Empty());
  s.options.diddle = 1;  // until the window thread switches, not even idle codes go out
  EXPECT_EQ(Send(), 0);

  s.options.diddle = 0;  // text the writer meets while receiving is echoed as such
  link.SwitchToReceive();
  Send();
  port.calls.clear();
  Send("E");
  EXPECT_EQ(port.Texts("write "), "1");
  EXPECT_EQ(port.Texts("show "), "69/1");
}

TEST_F(DeviceLinkTest, TncStringsSendChunksAndAwaitTheBracketedResponse) {
  s.serial.device = DeviceType::kTnc;
  port.txCharMs = link.CharacterMs();
  const char* const cases[][3] = {
      {"X[OK]Y", "purge|tx 88|tx 89", "OK"},
      {"\\r[cmd:]\\x41[ok", "purge|tx 13|tx 65", "ok"},
      {"A\\x00B[OK]", "purge|tx 65", ""},  // an escaped zero ends the string
  };
  for (const auto& c : cases) {
    queue->Put('z');
    port.calls.clear();
    link.SendTncString(c[0]);
    EXPECT_EQ(port.Texts(), c[1]) << c[0];
    EXPECT_EQ(link.awaitedResponse(), c[2]) << c[0];
    EXPECT_TRUE(queue->Empty()) << c[0];
    if (port.Count("tx") > 1) EXPECT_GE(port.TimeOf("tx", 1) - port.TimeOf("tx", 0), link.CharacterMs()) << c[0];
  }
  // The switch keys PTT before the transmit string and drops it before the receive one.
  CopyText(s.tnc.transmit, "X");
  CopyText(s.tnc.receive, "R");
  port.calls.clear();
  link.SwitchToTransmit();
  link.SwitchToReceive();
  EXPECT_EQ(port.Texts(), "line1 on|purge|tx 88|line1 off|purge|tx 82");

  link.SendTncString(("[" + std::string(150, 'x') + "]").c_str());
  EXPECT_EQ(link.awaitedResponse(), std::string(99, 'x'));
  port.hasPort = false;
  port.calls.clear();
  link.SendTncString("Q[R]");
  EXPECT_TRUE(port.calls.empty());
  EXPECT_EQ(link.awaitedResponse(), std::string(99, 'x'));
  port.hasPort = true;
  port.txCharMs = 1e9;  // a line that never frees: the rest of the string is given up
  const int64_t stuckAt = port.now;
  link.SendTncString("CD");
  EXPECT_EQ(port.Texts("tx "), "67");
  EXPECT_LT(port.now - stuckAt, 1000);
}

TEST_F(DeviceLinkTest, TncPromptAfterTheEndSwitchesToReceive) {
  s.serial.device = DeviceType::kTnc;
  CopyText(s.tnc.command, "cmd:");
  s.tnc.receiveModeChar = 0x05;
  link.SwitchToTransmit();
  Send("HI\x1A");
  EXPECT_EQ(port.Texts("write "), "72 73 5");
  EXPECT_EQ(link.armedCommand(), "cmd:");
  // The TNC echoes what it sends; the echo is shown in the transmit colour.
  EXPECT_EQ(Receive("xCmD"), "120/2 67/2 109/2 68/2");
  EXPECT_EQ(port.Count("toggle"), 0u);
  Receive(":");
  EXPECT_EQ(port.Count("toggle"), 1u);
  EXPECT_EQ(link.armedCommand(), "");

  // Without a receive mode character the end mark itself goes out; an awaited response
  // is watched for first.
  s.tnc.receiveModeChar = 0;
  Send("\x1A");
  EXPECT_EQ(port.Texts("write "), "26");
  link.SendTncString("[OK]");
  Receive("cmd:ok");
  EXPECT_EQ(link.awaitedResponse(), "");
  EXPECT_EQ(port.Count("toggle"), 0u);
  Receive("cmd:");
  EXPECT_EQ(port.Count("toggle"), 1u);

  Send("\x1A");  // not while receiving
  link.SwitchToReceive();
  Receive("cmd:");
  EXPECT_EQ(port.Count("toggle"), 0u);
  EXPECT_EQ(link.armedCommand(), "cmd:");
  s.tnc.command[0] = '\0';  // no prompt without a command text: the end mark goes out as it is
  s.tnc.receiveModeChar = 0x05;
  link.Reset();
  link.SwitchToTransmit();
  port.calls.clear();
  Send("\x1A");
  EXPECT_EQ(port.Texts("write "), "26");
  EXPECT_EQ(link.armedCommand(), "");
}

TEST_F(DeviceLinkTest, ReceiveDecodesFiltersAndColours) {
  // "3E", nothing for the zero, "E" from the low five bits, one CR for CR CR and for
  // CR FIGS CR, then LF.
  EXPECT_EQ(Receive("\x1b\x01\x1f\x01" + std::string(1, '\0') + "\xe1\x08\x08\x1b\x08\x02"),
            "51/1 69/1 69/1 13/1 10/1");
  Receive("\x08");
  link.SwitchToTransmit();
  EXPECT_EQ(Receive("\x01"), "");  // a terminal unit is muted while transmitting
  link.SwitchToReceive();
  EXPECT_EQ(Receive("\x08"), "13/1");  // the switch forgot the last CR
  s.options.baudot = 0;
  EXPECT_EQ(Receive("a\r\r"), "97/1 13/1");
  s.serial.device = DeviceType::kTnc;
  Receive("\r");
  link.SwitchToTransmit();
  EXPECT_EQ(Receive(std::string("\rb\0\r\r", 5)), "13/2 98/2 13/2");
}

TEST_F(DeviceLinkTest, EngineGetsModeRequestsAndCharacters) {
  s.serial.device = DeviceType::kEngine;
  link.SwitchToTransmit();
  EXPECT_EQ(Send("ABC\x1A"
                 "D"),
            3);
  EXPECT_FALSE(link.WriterStep()) << "a later wake-up asks again";
  EXPECT_EQ(port.Texts(), "ptton|post 3 2|post 4 65|post 4 66|post 4 67|post 3 1|post 3 1");
  EXPECT_EQ(queue->Count(), 2u) << "the end mark stays for the engine's report";
  port.calls.clear();
  link.SwitchToReceive();
  EXPECT_EQ(port.Texts(), "pttoff|post 3 0");
  queue->Flush();
  Send("\xE9");
  EXPECT_EQ(port.Last(), "post 4 -23");
}

bool WaitUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  for (; !done(); std::this_thread::yield())
    if (std::chrono::steady_clock::now() > deadline) return false;
  return true;
}

TEST(DeviceLinkThreads, SwitchingWhileTheWriterRunsLosesAndRepeatsNothing) {
  Settings s = TerminalUnitSettings();
  s.options.baudot = 0;  // bytes as queued; idle characters are spaces
  s.options.diddle = 1;
  s.options.pttDelayMs = 3;
  s.serial.baud = 9600;
  s.serial.dataBits = 8;
  auto queue = std::make_unique<TxQueue>();
  FakePort port;
  DeviceLink link(s, *queue, port);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    while (!stop)
      if (!link.WriterStep()) port.WaitForWake();
  });
  std::string expected;
  for (int round = 0; round < 200; ++round) {
    link.SwitchToTransmit();
    for (int i = 0; i < 20; ++i) {
      expected += static_cast<char>('A' + (round + i) % 26);
      queue->Put(expected.back());
      port.WakeWriter();
    }
    ASSERT_TRUE(WaitUntil([&] { return queue->Empty(); })) << "round " << round;
    link.SwitchToReceive();
  }
  EXPECT_TRUE(WaitUntil([&] { return !port.lineUp; })) << "PTT never released";
  stop = true;
  port.WakeWriter();
  writer.join();

  // Every byte, idle spaces included, went out with PTT up.
  std::string written;
  bool up = false;
  int writesWithPttDown = 0;
  for (const Call& call : port.calls) {
    if (call.text.compare(0, 5, "line1") == 0) up = call.text == "line1 on";
    if (call.text.compare(0, 6, "write ") != 0) continue;
    writesWithPttDown += !up;
    if (call.text != "write 32") written += static_cast<char>(std::stoi(call.text.substr(6)));
  }
  EXPECT_EQ(written, expected);
  EXPECT_EQ(writesWithPttDown, 0);
  EXPECT_FALSE(link.pttState());
}

std::string Drain(TxQueue& q) {
  std::string got;
  char ch;
  while (got.size() <= TxQueue::kSize && q.Peek(ch)) {  // a broken ring fails, not hangs
    got += ch;
    EXPECT_TRUE(q.Pop());
  }
  return got;
}

// Moves both indices to `at` by passing characters through an empty queue.
std::unique_ptr<TxQueue> QueueAt(uint32_t at) {
  auto q = std::make_unique<TxQueue>();
  for (uint32_t i = 0; i < at; ++i) {
    q->Put('.');
    q->Pop();
  }
  return q;
}

// Plain first-in first-out use, flushes included, is what every device link test does;
// these are the full ring, the seam and take-backs racing the writer.
TEST(TxQueue, HoldsAtMost9999AndWrapsAtTheSeam) {
  for (uint32_t start : {0u, 1234u}) {  // the limit does not depend on where the ring starts
    auto q = QueueAt(start);
    std::string expected;
    for (int i = 0; i < 9999; ++i) {
      expected += static_cast<char>('a' + i % 26);
      ASSERT_EQ(q->Put(expected.back()), 1) << i;
    }
    EXPECT_EQ(q->Put('!'), 0);
    EXPECT_EQ(q->Count(), 9999u);
    EXPECT_EQ(Drain(*q), expected);
  }

  auto r = QueueAt(9999);
  r->Put('a');
  r->Put('b');
  EXPECT_EQ(r->Count(), 2u);
  EXPECT_TRUE(r->TakeBack() && r->TakeBack());  // back across the seam from 0 to 9999
  EXPECT_EQ(r->writeIndex(), 9999u);
  EXPECT_FALSE(r->TakeBack());
  r->Put('x');
  r->Put('y');
  EXPECT_EQ(Drain(*r), "xy");
  EXPECT_EQ(r->readIndex(), 1u);
}

char Pattern(uint32_t i) { return static_cast<char>(i % 251); }

// Backspaces race the writer for the last queued characters: two puts and a take-back
// each round keep the consumer busy while the producer rewrites the indices. Every
// character taken off must be one the producer still means to send, in order; a read
// index left past the write index would hand out stale text.
TEST(TxQueue, TakeBacksRacingTheConsumerLoseAndRepeatNothing) {
  auto q = QueueAt(0);
  std::atomic<bool> done{false};
  uint32_t sent = 0;  // puts minus successful take-backs
  std::thread producer([&] {
    for (int round = 0; round < 150000; ++round) {
      for (int k = 0; k < 2; ++k, ++sent)
        while (q->Put(Pattern(sent)) == 0) std::this_thread::yield();
      if (q->TakeBack()) --sent;
    }
    done = true;
  });
  uint32_t received = 0, mismatches = 0;
  for (char ch; !(done && q->Empty());)
    if (q->Peek(ch) && q->Pop()) mismatches += ch != Pattern(received++);
  producer.join();
  EXPECT_EQ(received, sent);
  EXPECT_EQ(mismatches, 0u);
}

bool Feed(TncMatcher& m, const std::string& bytes, const std::string& text) {
  bool matched = false;
  for (char c : bytes) matched = m.Step(static_cast<uint8_t>(c), text.c_str());
  return matched;
}

// The received-byte filter is covered through the device link's receive tests.
TEST(TncMatcher, MatchesTheLastBytesSinceTheLastClear) {
  TncMatcher m;
  EXPECT_FALSE(Feed(m, "xxcmd", "CMD:"));
  EXPECT_TRUE(Feed(m, ":", "CMD:"));
  EXPECT_FALSE(Feed(m, "o", "CMD:"));
  EXPECT_FALSE(Feed(m, "`{", "@"));  // only letters fold: "@" is not a "`", "[" not a "{"
  EXPECT_FALSE(Feed(m, "{", "["));
  EXPECT_TRUE(Feed(m, "@", "@"));
  EXPECT_FALSE(Feed(m, "a", ""));
  EXPECT_FALSE(m.Step('a', nullptr));
  m.Clear();
  EXPECT_FALSE(Feed(m, "K", "aK"));  // "a" came before the clear
  EXPECT_TRUE(Feed(m, "OK", "OK"));
  EXPECT_FALSE(Feed(m, std::string("O\0K", 3), "OK"));  // a zero byte holds a place

  std::string longest(TncMatcher::kWindow, 'x');
  for (size_t i = 0; i < longest.size(); ++i) longest[i] = static_cast<char>('a' + i % 26);
  EXPECT_TRUE(Feed(m, longest, longest));
  EXPECT_FALSE(Feed(m, longest + "!", longest + "!"));
}

}  // namespace
}  // namespace zk
