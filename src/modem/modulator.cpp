#include "modem/modulator.h"

#include <cmath>

#include "modem/dsp.h"

namespace zk {

Modulator::Modulator(const ModemSettings& settings, const ModulatorOptions& options)
    : settings_(settings), options_(options), rampSamples_(std::max(1.0, options.rampSeconds * settings.sampleRate)) {}

uint64_t Modulator::Queue(char ch) {
  finishing_ = false;
  KeyUp();  // first, so the shift state it sets is the one the text is encoded from
  const uint64_t ticket = nextTicket_++;
  uint8_t codes[5];
  const int n = codec_.Encode(ch, codes);
  for (int i = 0; i < n; ++i) {
    const bool last = i == n - 1;
    items_.push_back({Kind::Code, codes[i], 0, last ? ticket : 0, ch});
  }
  if (n == 0) items_.push_back({Kind::Marker, 0, 0, ticket, ch});
  return ticket;
}

void Modulator::Start() {
  finishing_ = false;
  KeyUp();
}

void Modulator::Finish() { finishing_ = true; }

void Modulator::KeyUp() {
  if (keyed_) return;
  keyed_ = true;
  rampDirection_ = 1;
  rampPos_ = 0;
  phase_ = options_.startPhase;
  itemEnd_ = static_cast<double>(sample_);
  // Mark to settle the far end's receiver, then LTRS: whatever shift it was left in, it
  // is in letters now, as the encoder assumes. Text queued while the carrier was falling
  // was encoded for the shift the far end is still in, and follows the mark directly.
  if (items_.empty() && options_.lettersFirst) {
    items_.push_front({Kind::Code, kLtrs, 0, 0, 0});
    codec_.NoteIdleCode();
  }
  items_.push_front({Kind::Mark, 0, options_.leadInSeconds, 0, 0});
  NextItem();
}

void Modulator::NextItem() {
  if (busy_) sent_.push_back({current_.ticket, current_.ch, sample_});
  busy_ = false;
  while (!items_.empty() && items_.front().kind == Kind::Marker) {
    sent_.push_back({items_.front().ticket, items_.front().ch, sample_});
    items_.pop_front();
  }
  if (current_.kind == Kind::RampDown) {
    keyed_ = false;
    rampDirection_ = 0;
    current_.kind = Kind::Mark;
    if (!items_.empty()) KeyUp();  // text queued while the carrier was falling
  } else if (!items_.empty()) {
    BeginItem(items_.front());
    items_.pop_front();
  } else if (finishing_) {
    items_.push_back({Kind::Mark, 0, options_.tailSeconds, 0, 0});
    items_.push_back({Kind::RampDown, 0, 0, 0, 0});
    NextItem();
  } else if (options_.diddle) {
    BeginItem({Kind::Code, kLtrs, 0, 0, 0});
    codec_.NoteIdleCode();
  } else {
    BeginItem({Kind::Mark, 0, 1 / settings_.baud, 0, 0});  // one element: text waits no longer
  }
}

void Modulator::BeginItem(const Item& item) {
  current_ = item;
  busy_ = item.kind == Kind::Code && item.ticket != 0;
  itemStart_ = itemEnd_;
  double samples = item.seconds * settings_.sampleRate;
  if (item.kind == Kind::Code) samples = (6 + settings_.stopBits) * settings_.sampleRate / settings_.baud;
  if (item.kind == Kind::RampDown) {
    samples = rampSamples_;
    rampDirection_ = -1;
    rampPos_ = rampSamples_;
  }
  itemEnd_ = itemStart_ + samples;
}

bool Modulator::ToneIsMark() const {
  if (current_.kind != Kind::Code) return true;
  const double t = (static_cast<double>(sample_) + 0.5 - itemStart_) * settings_.baud / settings_.sampleRate;
  const int element = static_cast<int>(t);
  if (element <= 0) return false;  // start element
  if (element >= 6) return true;   // stop elements
  return ((current_.code >> (element - 1)) & 1) != 0;
}

float Modulator::Envelope() {
  if (rampDirection_ == 0) return 1;
  const double e = 0.5 - 0.5 * std::cos(kPi * rampPos_ / rampSamples_);
  rampPos_ += rampDirection_;
  if (rampPos_ >= rampSamples_ && rampDirection_ > 0) rampDirection_ = 0;
  if (rampPos_ < 0) rampPos_ = 0;
  return static_cast<float>(e);
}

void Modulator::Render(float* out, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    while (keyed_ && static_cast<double>(sample_) + 0.5 >= itemEnd_) NextItem();
    if (!keyed_) {
      out[i] = 0;
      ++sample_;
      continue;
    }
    const double f = ToneIsMark() ? settings_.mark : settings_.space();
    out[i] = static_cast<float>(options_.amplitude * std::sin(phase_)) * Envelope();
    phase_ = std::fmod(phase_ + kTwoPi * f / settings_.sampleRate, kTwoPi);
    ++sample_;
  }
}

bool Modulator::PopSent(SentChar* sent) {
  if (sent_.empty() || sent_.front().endSample > sample_) return false;
  *sent = sent_.front();
  sent_.pop_front();
  return true;
}

}  // namespace zk
