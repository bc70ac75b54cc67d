// The waterfall's view of the input: the band from 0 to 3 kHz as a row of columns, a new
// row several times a second, each column's brightness 0 to 255 above the noise floor.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "modem/dsp.h"

namespace zk {

// An in-place radix-2 FFT of a fixed power-of-two size.
class Fft {
 public:
  explicit Fft(size_t size);
  void Transform(std::vector<Cf>& x) const;  // x.size() must be size()
  size_t size() const { return twiddles_.size() * 2; }

 private:
  std::vector<Cf> twiddles_;
  std::vector<uint32_t> reversed_;
};

class Spectrum {
 public:
  static constexpr double kTopHz = 3000;

  Spectrum(double inputRate, int columns, double linesPerSecond = 10);

  void Process(const float* x, size_t n);
  // The oldest row not yet taken; false when none is ready.
  bool PopLine(std::vector<uint8_t>* line);
  // Forgets the samples and rows so far (while nobody looks).
  void Clear();

  int columns() const { return columns_; }
  double ColumnHz(double column) const { return column * kTopHz / columns_; }
  double rate() const { return rate_; }  // after decimation
  size_t fftSize() const { return fft_.size(); }

 private:
  void Push(float x);
  void MakeLine();

  int columns_;
  int decimation_;
  double rate_;
  std::vector<float> taps_;     // low-pass before decimation; empty when there is none
  std::vector<float> history_;  // twice the taps, so the newest are contiguous
  size_t historyPos_ = 0;
  int phase_ = 0;
  Fft fft_;
  std::vector<float> window_;
  std::vector<float> ring_;  // the newest fft size samples
  size_t ringPos_ = 0;
  size_t filled_ = 0;
  size_t hop_;
  size_t sinceLine_ = 0;
  std::vector<int> firstBin_, lastBin_;  // each column's bins
  std::vector<Cf> work_;
  std::vector<float> db_;
  double floorDb_ = 0;
  bool floorKnown_ = false;
  std::vector<std::vector<uint8_t>> lines_;
};

}  // namespace zk
