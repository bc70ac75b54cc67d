#include "modem/code_model.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace zk {

namespace {

constexpr float kPrior = 0.2f;   // counts every pair starts with
constexpr double kMostNats = 3;  // the most the knowledge may count for
constexpr double kClear = 2;     // nats each element needs before the code teaches
constexpr float kMemory = 256;   // counts after one code before older ones fade

}  // namespace

void CodeModel::Reset() {
  for (auto& state : counts_)
    for (auto& row : state) std::fill(std::begin(row), std::end(row), kPrior);
  for (auto& state : totals_) std::fill(std::begin(state), std::end(state), 32 * kPrior);
  NewTransmission();
}

void CodeModel::NewTransmission() {
  previous_ = 0;
  shift_ = BaudotCodec();
}

uint8_t CodeModel::Choose(const float llr[5]) {
  const int state = shift_.rxFigures() ? 1 : 0;
  float* row = counts_[state][previous_];
  float& total = totals_[state][previous_];
  uint8_t best = 0;
  double bestScore = -1e300;
  bool clear = true;
  for (int b = 0; b < 5; ++b) clear = clear && std::fabs(llr[b]) > kClear;
  for (int code = 0; code < 32; ++code) {
    double score = std::clamp(std::log(static_cast<double>(row[code]) / total * 32), -kMostNats, kMostNats);
    for (int b = 0; b < 5; ++b) score += ((code >> b) & 1) ? llr[b] / 2 : -llr[b] / 2;
    if (score > bestScore) {
      bestScore = score;
      best = static_cast<uint8_t>(code);
    }
  }
  if (clear) {
    row[best] += 1;
    total += 1;
    if (total > kMemory) {
      for (int code = 0; code < 32; ++code) row[code] /= 2;
      total /= 2;
    }
  }
  shift_.Decode(best, ltrsOnSpace_);
  previous_ = best;
  return best;
}

}  // namespace zk
