#include "modem/transmit_path.h"

#include <algorithm>
#include <cmath>

#include "modem/dsp.h"

namespace zk {

void TransmitPath::Configure(const ModemSettings& settings, const ModulatorOptions& options) {
  settings_ = settings;
  options_ = options;
  fadeLength_ = std::max<size_t>(1, static_cast<size_t>(options.rampSeconds * settings.sampleRate));
}

void TransmitPath::NewModulator() {
  modulator_ = std::make_unique<Modulator>(settings_, options_);
  base_ = rendered_;
  modulator_->Start();
  state_ = State::kSending;
}

void TransmitPath::Start() {
  finishing_ = false;
  if (state_ == State::kFading) {
    startAfterFade_ = true;
  } else if (state_ == State::kSending) {
    modulator_->Start();  // a finish asked for is called off
  } else {
    NewModulator();
  }
}

void TransmitPath::Queue(char ch) {
  if (state_ == State::kDraining && finishing_) NewModulator();  // sent right after the tail
  if (state_ != State::kSending) return;
  modulator_->Queue(ch);
  if (finishing_) modulator_->Finish();
}

void TransmitPath::Finish() {
  if (state_ != State::kSending) return;
  finishing_ = true;
  modulator_->Finish();
}

void TransmitPath::Stop() {
  startAfterFade_ = false;
  finishing_ = false;
  if (state_ != State::kSending) return;
  state_ = State::kFading;
  fadeLeft_ = fadeLength_;
}

void TransmitPath::Render(float* out, size_t n) {
  size_t done = 0;
  if (state_ == State::kFading) done = RenderFade(out, n);
  if (state_ == State::kSending && done < n) {
    RenderSignal(out + done, n - done);
    done = n;
  }
  std::fill(out + done, out + n, 0.0f);
  rendered_ += n;
}

// The modulator's signal under a falling raised cosine, then nothing more of it.
size_t TransmitPath::RenderFade(float* out, size_t n) {
  const size_t m = std::min(n, fadeLeft_);
  modulator_->Render(out, m);
  for (size_t i = 0; i < m; ++i) {
    const double left = static_cast<double>(fadeLeft_ - i) / static_cast<double>(fadeLength_);
    out[i] *= static_cast<float>(0.5 - 0.5 * std::cos(kPi * left));
  }
  fadeLeft_ -= m;
  if (fadeLeft_ > 0) return m;
  modulator_.reset();
  state_ = State::kDraining;
  if (startAfterFade_) {
    startAfterFade_ = false;
    NewModulator();
    base_ = rendered_ + m;  // the new signal starts right after the fade
  }
  return m;
}

void TransmitPath::RenderSignal(float* out, size_t n) {
  modulator_->Render(out, n);
  SentChar sent;
  while (modulator_->PopSent(&sent)) echoes_.push_back({base_ + sent.endSample, sent.ch});
  if (!modulator_->keyed()) {
    modulator_.reset();
    state_ = State::kDraining;
  }
}

void TransmitPath::Played(uint64_t samples, std::string& echoed) {
  played_ = std::min(samples, rendered_);
  while (!echoes_.empty() && echoes_.front().end <= played_) {
    echoed.push_back(echoes_.front().ch);
    echoes_.pop_front();
  }
}

void TransmitPath::Reset() {
  modulator_.reset();
  echoes_.clear();
  state_ = State::kIdle;
  finishing_ = startAfterFade_ = false;
  rendered_ = played_ = base_ = 0;
}

}  // namespace zk
