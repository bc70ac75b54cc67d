#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "device/tnc_match.h"
#include "device/tx_queue.h"

namespace zk {
namespace {

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
