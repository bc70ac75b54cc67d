#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "modem/code_model.h"
#include "modem/element_filters.h"
#include "modem/frame_sync.h"
#include "modem/front_end.h"
#include "modem/modem_settings.h"
#include "modem/squelch.h"
#include "modem/tone_level.h"
#include "modem/tone_search.h"

namespace zk {

struct DemodulatorOptions {
  bool afc = true;           // follow a signal within +-100 Hz of the tones
  bool squelch = true;       // show nothing while no signal is heard
  double squelchDb = -17;    // signal-to-noise ratio (3 kHz) at which the squelch opens
  bool ltrsOnSpace = true;   // a space returns to letters
  bool learnText = true;     // read doubtful characters by what the text has shown so far
};

// The tone search's pair strength a signal of this SNR (3 kHz) shows on average.
double PairStrengthFor(double snrDb, double baud);

// The receiver: audio in at the settings' sample rate, characters out as they are decoded,
// each within about 100 ms of the end of its stop element (the filters' delay and two and a half
// elements, at most 0.1 s, for the framing to settle). Characters are the codec's: '\r'
// and '\n' as received; shift codes do not appear.
class Demodulator {
 public:
  explicit Demodulator(const ModemSettings& settings, const DemodulatorOptions& options = {});

  // Takes a block of samples of any length; appends the characters decoded from it.
  void Process(const float* samples, size_t n, std::string& text);
  // At the end of the input: decides what is still undecided.
  void Flush(std::string& text);
  // Retunes to a new mark tone (click to tune) and searches again around it.
  void SetMark(double hz);
  // Forgets the signal: timing, levels, frequency correction and shift state.
  void Reset();

  // The mark tone as the receiver follows it, in Hz.
  double markFrequency() const { return settings_.mark + offset_; }
  // Signal-to-noise ratio in a 3 kHz bandwidth, in dB.
  double snrDb() const { return snrDb_; }
  bool squelchOpen() const { return squelch_.open(); }
  // Largest input magnitude in the last block (1 is full scale).
  float inputPeak() const { return frontEnd_.peak(); }
  const ModemSettings& settings() const { return settings_; }
  // For each character the last Process or Flush appended, the input sample just after its
  // stop element as the receiver placed it, counted from the first sample since Reset.
  const std::vector<int64_t>& stopEnds() const { return stopEnds_; }

 private:
  struct Outputs {
    Cf markOld, markNew, spaceOld, spaceNew;
    float noise;  // what the evidence at this sample took as the noise
  };

  void Sample(Cf x, bool fresh, std::string& text);
  void Replay(std::string& text);
  void ForgetSignal();
  static double OnScore(double z, double a, double doubt, double noise);
  float Llr(Outputs& o);
  void Redecide(Frame& frame) const;
  void Decode(const Frame& decided, std::string& text);
  void LearnElement(int64_t end, bool mark);
  void Follow();
  void Search(std::string& text);
  double Seconds() const;
  void SetOffset(double hz);
  void UpdateSnr();
  const Outputs& At(int64_t t) const { return history_[static_cast<size_t>(t) & historyMask_]; }

  ModemSettings settings_;
  DemodulatorOptions options_;
  int element_;        // samples per element at the filters' rate
  double rate_;        // the filters' sample rate
  double markBase_, spaceBase_;  // tones at baseband, in Hz, before correction
  FrontEnd frontEnd_;
  ElementFilters filters_;
  ToneLevel mark_, space_;
  ToneSearch search_;
  FrameSync sync_;
  Squelch squelch_;
  CodeModel codes_;
  std::vector<Outputs> history_;
  size_t historyMask_;
  std::vector<Cf> baseband_;
  std::vector<Cf> recent_;  // the last second of baseband, for a replay
  size_t recentMask_;
  int64_t recentCount_ = 0;
  bool replay_ = false;
  std::vector<Frame> frames_;
  int learnt_ = 0;       // elements learnt since the last correction
  double offset_ = 0;    // frequency correction, Hz
  double noise_ = 0;     // element filter power with no tone
  double quiet_ = 0;     // the same, less all that might be the signal's
  double held_ = 0;      // both filters' power, at its recent peak
  Cd drift_{0, 0};       // phase advance over half an element, summed over decided elements
  double snrDb_ = -99;
  int64_t inputCount_ = 0;  // input samples since Reset
  int64_t syncOrigin_ = 0;  // the baseband sample the framing counts from
  std::vector<int64_t> stopEnds_;
};

}  // namespace zk
