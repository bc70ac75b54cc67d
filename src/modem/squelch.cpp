#include "modem/squelch.h"

namespace zk {

namespace {

constexpr double kAverageSeconds = 2;
constexpr double kHoldSeconds = 1;
constexpr double kCloseShare = 0.7;  // closes below 1 + 0.7 (threshold - 1): no flutter
constexpr double kClearEnough = 4;   // nats: what noise alone seldom gives every element

}  // namespace

Squelch::Squelch(double threshold, double updates, bool enabled, bool ltrsOnSpace)
    : threshold_(threshold),
      smoothing_(1 / (kAverageSeconds * updates)),
      enabled_(enabled),
      ltrsOnSpace_(ltrsOnSpace) {
  Reset();
}

void Squelch::Reset() {
  open_ = !enabled_;
  strength_ = 1;
  Forget();
}

void Squelch::Forget() {
  held_.clear();
  codec_ = BaudotCodec();
}

void Squelch::Show(uint8_t code, int64_t end, std::string& text, std::vector<int64_t>& ends) {
  const char ch = codec_.Decode(code, ltrsOnSpace_);
  if (ch == 0) return;
  text.push_back(ch);
  ends.push_back(end);
}

void Squelch::Update(double strength, double now, std::string& text, std::vector<int64_t>& ends) {
  strength_ += smoothing_ * (strength - strength_);
  if (!enabled_) return;
  const bool wasOpen = open_;
  open_ = strength_ >= (open_ ? 1 + kCloseShare * (threshold_ - 1) : threshold_);
  if (!open_ || wasOpen) return;
  codec_ = BaudotCodec();
  for (const Held& h : held_)
    if (h.time >= now - kHoldSeconds && h.clarity >= kClearEnough) Show(h.code, h.end, text, ends);
  held_.clear();
}

void Squelch::Pass(uint8_t code, double clarity, double now, int64_t end, std::string& text,
                   std::vector<int64_t>& ends) {
  if (open_) {
    Show(code, end, text, ends);
    return;
  }
  held_.push_back({code, clarity, now, end});
  while (!held_.empty() && held_.front().time < now - kHoldSeconds) held_.pop_front();
}

}  // namespace zk
