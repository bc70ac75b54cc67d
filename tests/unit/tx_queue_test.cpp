#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "device/rx_filter.h"
#include "device/tnc_match.h"
#include "device/tx_queue.h"

namespace zk {
namespace {

std::string Drain(TxQueue& q) {
  std::string got;
  char ch;
  while (q.Peek(ch)) {
    got += ch;
    EXPECT_TRUE(q.Pop());
  }
  return got;
}

// Moves both indices to `at` by passing characters through an empty queue.
void Advance(TxQueue& q, uint32_t at) {
  for (uint32_t i = 0; i < at; ++i) {
    q.Put('.');
    q.Pop();
  }
}

TEST(TxQueue, FirstInFirstOut) {
  auto q = std::make_unique<TxQueue>();
  char ch = 'x';
  EXPECT_TRUE(q->Empty());
  EXPECT_FALSE(q->Peek(ch));
  EXPECT_FALSE(q->Pop());
  EXPECT_EQ(q->Count(), 0u);

  for (char c : std::string("CQ DE")) EXPECT_EQ(q->Put(c), 1);
  EXPECT_EQ(q->Count(), 5u);
  ASSERT_TRUE(q->Peek(ch));
  EXPECT_EQ(ch, 'C');
  EXPECT_EQ(q->Count(), 5u);  // peeking takes nothing off
  EXPECT_EQ(Drain(*q), "CQ DE");
  EXPECT_TRUE(q->Empty());
}

TEST(TxQueue, HoldsAtMost9999AndRefusesMore) {
  auto q = std::make_unique<TxQueue>();
  Advance(*q, 1234);  // the limit does not depend on where the ring starts
  for (int i = 0; i < 9999; ++i) ASSERT_EQ(q->Put(static_cast<char>('a' + i % 26)), 1) << i;
  EXPECT_EQ(q->Count(), 9999u);
  EXPECT_EQ(q->Put('!'), 0);
  EXPECT_EQ(q->Count(), 9999u);
  const std::string got = Drain(*q);
  ASSERT_EQ(got.size(), 9999u);
  for (int i = 0; i < 9999; ++i) ASSERT_EQ(got[i], 'a' + i % 26) << i;
  EXPECT_EQ(q->Put('!'), 1);  // room again
}

TEST(TxQueue, IndicesWrapAtTheEndOfTheRing) {
  auto q = std::make_unique<TxQueue>();
  Advance(*q, 9999);
  EXPECT_EQ(q->writeIndex(), 9999u);
  EXPECT_EQ(q->Put('a'), 1);
  EXPECT_EQ(q->writeIndex(), 0u);
  EXPECT_EQ(q->Put('b'), 1);
  EXPECT_EQ(q->Count(), 2u);
  char ch;
  ASSERT_TRUE(q->Peek(ch));
  EXPECT_EQ(ch, 'a');
  q->Pop();
  EXPECT_EQ(q->readIndex(), 0u);
  ASSERT_TRUE(q->Peek(ch));
  EXPECT_EQ(ch, 'b');

  // Taking back across the seam steps the write index from 0 to 9999.
  auto r = std::make_unique<TxQueue>();
  Advance(*r, 9999);
  r->Put('x');
  r->Put('y');
  ASSERT_EQ(r->writeIndex(), 1u);
  EXPECT_TRUE(r->TakeBack());
  EXPECT_TRUE(r->TakeBack());
  EXPECT_EQ(r->writeIndex(), 9999u);
  EXPECT_TRUE(r->Empty());
  EXPECT_FALSE(r->TakeBack());
  EXPECT_EQ(r->writeIndex(), 9999u);
}

TEST(TxQueue, TakeBackRemovesTheLastQueuedCharacter) {
  auto q = std::make_unique<TxQueue>();
  EXPECT_FALSE(q->TakeBack());  // nothing to take back: nothing changes
  EXPECT_EQ(q->writeIndex(), 0u);
  EXPECT_EQ(q->readIndex(), 0u);

  q->Put('a');
  q->Put('b');
  EXPECT_TRUE(q->TakeBack());
  q->Put('c');
  EXPECT_EQ(Drain(*q), "ac");
  // Once sent, a character cannot be taken back.
  EXPECT_FALSE(q->TakeBack());
}

TEST(TxQueue, FlushDropsWhatWaits) {
  auto q = std::make_unique<TxQueue>();
  for (char c : std::string("RYRYRY")) q->Put(c);
  q->Pop();
  q->Flush();
  EXPECT_TRUE(q->Empty());
  EXPECT_EQ(q->Count(), 0u);
  EXPECT_EQ(q->readIndex(), q->writeIndex());
  EXPECT_FALSE(q->TakeBack());
  q->Put('k');
  EXPECT_EQ(Drain(*q), "k");
}

char Pattern(uint32_t i) { return static_cast<char>(i % 251); }

TEST(TxQueue, ProducerAndConsumerThreadsLoseAndRepeatNothing) {
  constexpr uint32_t kTotal = 1000000;
  auto q = std::make_unique<TxQueue>();
  std::atomic<bool> refused{false};
  std::thread producer([&] {
    for (uint32_t i = 0; i < kTotal; ++i) {
      while (q->Put(Pattern(i)) == 0) {
        refused.store(true);
        std::this_thread::yield();
      }
    }
  });
  // Start reading only once the ring has filled, so that refusals happen for sure.
  while (!refused.load()) std::this_thread::yield();
  uint32_t received = 0;
  uint32_t mismatches = 0;
  while (received < kTotal) {
    char ch;
    if (!q->Peek(ch)) {
      std::this_thread::yield();
      continue;
    }
    if (ch != Pattern(received)) ++mismatches;
    ASSERT_TRUE(q->Pop());
    ++received;
  }
  producer.join();
  EXPECT_EQ(mismatches, 0u);
  EXPECT_TRUE(q->Empty());
}

// Backspaces race the writer for the last queued characters. Every character the writer
// takes off must be one the producer still means to send, in order; a read index left
// past the write index would instead hand out a ring full of stale text.
TEST(TxQueue, TakeBackRacingTheConsumerKeepsTheQueueConsistent) {
  constexpr uint32_t kPuts = 300000;
  auto q = std::make_unique<TxQueue>();
  std::atomic<bool> done{false};
  uint32_t sent = 0;  // the producer's net count: puts minus successful take-backs
  std::thread producer([&] {
    for (uint32_t i = 0; i < kPuts; ++i) {
      while (q->Put(Pattern(sent)) == 0) std::this_thread::yield();
      ++sent;
      if (i % 3 == 0 && q->TakeBack()) --sent;
    }
    done.store(true);
  });
  uint32_t received = 0;
  uint32_t mismatches = 0;
  for (;;) {
    char ch;
    if (!q->Peek(ch)) {
      if (done.load() && q->Empty()) break;
      continue;
    }
    if (q->Pop()) {
      if (ch != Pattern(received)) ++mismatches;
      ++received;
    }
  }
  producer.join();
  EXPECT_EQ(received, sent);
  EXPECT_EQ(mismatches, 0u);
}

TEST(TncMatcher, MatchesTheLastBytesIgnoringLetterCase) {
  TncMatcher m;
  int matchedAt = -1;
  const std::string rx = "xxcmd:ok";
  for (size_t i = 0; i < rx.size(); ++i) {
    if (m.Step(static_cast<uint8_t>(rx[i]), "CMD:")) {
      EXPECT_EQ(matchedAt, -1);
      matchedAt = static_cast<int>(i);
    }
  }
  EXPECT_EQ(matchedAt, 5);

  // Only letters fold: "@" is not a "`", "[" is not a "{".
  TncMatcher n;
  EXPECT_FALSE(n.Step('`', "@"));
  EXPECT_FALSE(n.Step('{', "["));
  EXPECT_TRUE(n.Step('@', "@"));
}

TEST(TncMatcher, NeedsTheWholeTextSinceTheLastClear) {
  TncMatcher m;
  m.Step('O', "OK");
  m.Clear();
  EXPECT_FALSE(m.Step('K', "OK"));
  EXPECT_FALSE(m.Step('O', "OK"));
  EXPECT_TRUE(m.Step('K', "OK"));

  // A zero byte takes its place in the window like any other.
  TncMatcher z;
  z.Step('O', "OK");
  EXPECT_FALSE(z.Step(0, "OK"));
  EXPECT_FALSE(z.Step('K', "OK"));
}

TEST(TncMatcher, EmptyTextNeverMatches) {
  TncMatcher m;
  EXPECT_FALSE(m.Step('a', ""));
  EXPECT_FALSE(m.Step(0, ""));
  EXPECT_FALSE(m.Step('a', nullptr));
}

TEST(TncMatcher, TextsUpToTheWindowMatchLongerNever) {
  std::string longest(TncMatcher::kWindow, 'x');
  for (size_t i = 0; i < longest.size(); ++i) longest[i] = static_cast<char>('a' + i % 26);
  const std::string thirty = longest.substr(0, 30);
  const std::string tooLong = longest + "!";

  TncMatcher m;
  m.Step('#', "");
  bool thirtyMatched = false;
  for (size_t i = 0; i < thirty.size(); ++i) {
    thirtyMatched = m.Step(static_cast<uint8_t>(thirty[i]), thirty.c_str());
  }
  EXPECT_TRUE(thirtyMatched);

  TncMatcher a;
  bool longestMatched = false;
  for (char c : longest) longestMatched = a.Step(static_cast<uint8_t>(c), longest.c_str());
  EXPECT_TRUE(longestMatched);

  TncMatcher b;
  bool tooLongMatched = false;
  for (char c : tooLong) tooLongMatched |= b.Step(static_cast<uint8_t>(c), tooLong.c_str());
  EXPECT_FALSE(tooLongMatched);
}

std::string Filtered(RxFilter& f, const std::string& bytes) {
  std::string kept;
  for (char c : bytes) {
    if (f.Accept(static_cast<uint8_t>(c))) kept += c;
  }
  return kept;
}

TEST(RxFilter, DropsZerosAndRepeatedCarriageReturns) {
  RxFilter f;
  EXPECT_EQ(Filtered(f, "\r\r"), "\r");
  EXPECT_EQ(f.last(), '\r');
  RxFilter g;
  EXPECT_EQ(Filtered(g, "\r\n\r\n"), "\r\n\r\n");
  RxFilter h;
  EXPECT_EQ(Filtered(h, std::string("a\0b\0\0", 5)), "ab");
  EXPECT_EQ(h.last(), 'b');  // a dropped zero is not remembered
  // A shift code decodes to nothing and never reaches the filter, so the CR before it
  // still counts as the last byte kept.
  RxFilter s;
  EXPECT_EQ(Filtered(s, "\r"), "\r");
  EXPECT_EQ(Filtered(s, "\r"), "");
  EXPECT_EQ(Filtered(s, "\r\r\rx\r\r"), "x\r");
}

TEST(RxFilter, ResetForgetsTheLastByte) {
  RxFilter f;
  EXPECT_TRUE(f.Accept('\r'));
  f.Reset();
  EXPECT_EQ(f.last(), 0);
  EXPECT_TRUE(f.Accept('\r'));
}

}  // namespace
}  // namespace zk
