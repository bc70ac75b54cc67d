#pragma once
#include <cstdint>
#include <string>

#include "line_pacer.h"
#include "script.h"

namespace zk {
namespace sim {

// What the station has heard from the program, for @wait-rx. A match consumes the text up
// to its end, so waiting twice for the same words needs them to arrive twice.
class RxWatch {
 public:
  void Add(char c) {
    seen_.push_back(c);
    if (seen_.size() > 2 * kKeep) {
      const size_t drop = seen_.size() - kKeep;
      seen_.erase(0, drop);
      cursor_ = cursor_ > drop ? cursor_ - drop : 0;
    }
  }

  // Letter case is ignored: the far end may send either.
  bool Consume(const std::string& text) {
    if (text.empty()) return true;
    for (size_t i = cursor_; i + text.size() <= seen_.size(); ++i) {
      size_t k = 0;
      while (k < text.size() && Upper(seen_[i + k]) == Upper(text[k])) ++k;
      if (k == text.size()) {
        cursor_ = i + k;
        return true;
      }
    }
    return false;
  }

 private:
  static constexpr size_t kKeep = 64 * 1024;  // far beyond the longest script line
  static char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
  std::string seen_;
  size_t cursor_ = 0;
};

// One thing a script asks to send: a text character (newline as '\n'), an exact code or
// byte, or a random value for a noise stretch. Each simulator turns it into line bytes.
struct ScriptItem {
  enum class Kind { kText, kRaw, kNoise };
  Kind kind = Kind::kText;
  uint8_t value = 0;
};

// Walks a script one item at a time. Pauses are shortened by the same rate scale as the
// line, so a sped-up test keeps the script's proportions.
class ScriptPlayer {
 public:
  ScriptPlayer(const Script* script, bool loop, double rateScale)
      : script_(script), loop_(loop), rateScale_(rateScale > 0 ? rateScale : 1) {}

  // Gives the next item due at `now`. When nothing is due, returns false and sets *wakeAt
  // to when to ask again: kNever while waiting for received text, or when finished.
  bool Next(int64_t now, RxWatch& watch, ScriptItem* item, int64_t* wakeAt) {
    *wakeAt = kNever;
    while (!done_) {
      if (!script_ || step_ >= script_->steps.size()) {
        // A looped pass that neither sent nor waited would spin for ever.
        if (!script_ || !loop_ || !passHadEffect_) {
          done_ = true;
          break;
        }
        step_ = 0;
        passHadEffect_ = false;
        continue;
      }
      const ScriptStep& s = script_->steps[step_];
      switch (s.kind) {
        case ScriptStep::Kind::kText:
          if (pos_ < s.text.size()) {
            return Give(ScriptItem::Kind::kText, static_cast<uint8_t>(s.text[pos_++]), item);
          }
          break;
        case ScriptStep::Kind::kRaw:
          if (pos_ < s.bytes.size()) {
            return Give(ScriptItem::Kind::kRaw, s.bytes[pos_++], item);
          }
          break;
        case ScriptStep::Kind::kNoise:
          if (pos_ < static_cast<size_t>(s.amount)) {
            ++pos_;
            return Give(ScriptItem::Kind::kNoise, NextRandom(), item);
          }
          break;
        case ScriptStep::Kind::kPause:
          if (pauseEnd_ < 0) {
            pauseEnd_ = now + static_cast<int64_t>(static_cast<double>(s.amount * kNsPerMs) / rateScale_);
            if (s.amount > 0) passHadEffect_ = true;
          }
          if (now < pauseEnd_) {
            *wakeAt = pauseEnd_;
            return false;
          }
          pauseEnd_ = -1;
          break;
        case ScriptStep::Kind::kWaitRx:
          if (!watch.Consume(s.text)) return false;
          passHadEffect_ = true;
          break;
      }
      ++step_;
      pos_ = 0;
    }
    return false;
  }

  bool finished() const { return done_; }

 private:
  bool Give(ScriptItem::Kind kind, uint8_t value, ScriptItem* item) {
    item->kind = kind;
    item->value = value;
    passHadEffect_ = true;
    return true;
  }

  // xorshift32 from a fixed seed: every run makes the same noise.
  uint8_t NextRandom() {
    rng_ ^= rng_ << 13;
    rng_ ^= rng_ >> 17;
    rng_ ^= rng_ << 5;
    return static_cast<uint8_t>(rng_ >> 24);
  }

  const Script* script_;
  bool loop_;
  double rateScale_;
  size_t step_ = 0;
  size_t pos_ = 0;
  int64_t pauseEnd_ = -1;
  uint32_t rng_ = 0x2545F491u;
  bool passHadEffect_ = false;
  bool done_ = false;
};

}  // namespace sim
}  // namespace zk
