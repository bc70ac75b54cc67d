#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "modem/carrier_watch.h"
#include "modem/code_model.h"
#include "modem/element_filters.h"
#include "modem/frame_sync.h"
#include "modem/front_end.h"
#include "modem/modem_settings.h"
#include "modem/received_text.h"
#include "modem/signal_search.h"
#include "modem/split_noise.h"
#include "modem/tone_level.h"

namespace zk {

struct DemodulatorOptions {
  bool afc = true;                // find and follow a signal within +-100 Hz of the tones
  double searchHz = kAfcRangeHz;  // with afc: how far from the tones a new signal is looked for
  bool squelch = true;            // show nothing while no signal is held
  double squelchDb = -15;         // the weakest signal shown, SNR in 3 kHz
  bool ltrsOnSpace = true;        // a space returns to letters
  bool learnText = true;          // read doubtful characters by what the text has shown so far
};

// The receiver: audio in at the settings' sample rate, characters out as they are decoded,
// each within about 100 ms of the end of its stop element (the filters' delay and two and a half
// elements, at most 0.1 s, for the framing to settle). Characters are the codec's: '\r'
// and '\n' as received; shift codes do not appear.
//
// With the squelch on it holds one signal at a time. While it holds none, a search over
// every offset and timing (SignalSearch) waits for a tone pair to stand out of the noise;
// the framing then starts on the found tones, on the baseband kept from the last two
// seconds, from just before the signal began, so its first character is shown too (a little
// later than the rest). Each character is shown only if its own elements look like the
// held signal rather than noise; the frequency is followed only while a signal is held.
// When its carrier stops (CarrierWatch), nothing decided after it is shown; if it comes back
// within a second and a half (longer for a station heard for long: a fade) what was held
// back meanwhile is shown after all, otherwise the search starts again around the nominal
// tones. A clearer pair well apart from the held one takes over. Lost shifts are repaired
// where the word shows them (ReceivedText).
class Demodulator {
 public:
  explicit Demodulator(const ModemSettings& settings, const DemodulatorOptions& options = {});

  // Takes a block of samples of any length; appends the characters decoded from it.
  void Process(const float* samples, size_t n, std::string& text);
  // At the end of the input: decides what is still undecided.
  void Flush(std::string& text);
  // Retunes to a new mark tone (click to tune) and searches again around it.
  void SetMark(double hz);
  // The input has been band-passed to lowHz..highHz (a neighbour's tones left out): the
  // band's noise is measured only inside.
  void HearOnly(double lowHz, double highHz);
  // Forgets the signal: timing, levels, frequency correction and shift state.
  void Reset();

  // The mark tone as the receiver follows it, in Hz.
  double markFrequency() const { return settings_.mark + offset_; }
  // Signal-to-noise ratio in a 3 kHz bandwidth of the signal held last, in dB.
  double snrDb() const { return snrDb_; }
  bool squelchOpen() const { return hold_ == Hold::kSignal || !options_.squelch; }
  // Largest input magnitude in the last block (1 is full scale).
  float inputPeak() const { return frontEnd_.peak(); }
  const ModemSettings& settings() const { return settings_; }
  // For each character the last Process or Flush appended, the input sample just after its
  // stop element as the receiver placed it, counted from the first sample since Reset.
  const std::vector<int64_t>& stopEnds() const { return stopEnds_; }
  // Every character of the held signal the last Process or Flush decided, shift codes too, as
  // sent on the air: where its start element began and its stop element ended, in input
  // samples counted as for stopEnds. What re-makes the signal to take it out of the band.
  struct Keyed {
    int64_t start, end;
    uint8_t code;
  };
  const std::vector<Keyed>& keyed() const { return keyed_; }

 private:
  struct Outputs {
    Cf markOld, markNew, spaceOld, spaceNew;
    float noise;  // what the evidence at this sample took as the noise
  };

  enum class Hold { kNone, kSignal, kFading };
  struct Waiting {  // a character decided, to be shown when the carrier is sure
    uint8_t code;
    int64_t end;
    float llr[5];  // its data elements
  };

  void Sample(Cf x, std::string& text);
  void Acquire(std::string& text);
  void Replay(int64_t from, std::string& text);
  void Lose(int64_t at, std::string& text);
  void Resume(std::string& text);
  void LetGo();
  double FadeSamples() const;
  void Show(const Waiting& w, std::string& text);
  void ForgetSignal();
  void Prime(const FoundSignal& found);
  static double OnScore(double z, double a, double doubt, double noise);
  float Llr(Outputs& o);
  void Redecide(Frame& frame) const;
  bool LooksLikeTheSignal(const Frame& frame) const;
  void Decode(const Frame& decided, std::string& text);
  void LearnElement(int64_t end, bool mark);
  void WatchCarrier(std::string& text);
  double Noise() const;
  double EsN0(const ToneLevel& tone) const;
  void Follow();
  void SetOffset(double hz);
  void LearnSplit(int64_t end, bool mark);
  void UpdateSnr();
  int64_t InputSample(int64_t baseband) const;
  const Outputs& At(int64_t t) const { return history_[static_cast<size_t>(t) & historyMask_]; }

  ModemSettings settings_;
  DemodulatorOptions options_;
  int element_;                  // samples per element at the filters' rate
  double rate_;                  // the filters' sample rate
  double markBase_, spaceBase_;  // tones at baseband, in Hz, before correction
  double floor_;                 // the weakest signal shown, energy per element over the noise
  FrontEnd frontEnd_;
  ElementFilters filters_;
  ToneLevel mark_, space_;
  SignalSearch search_;
  FrameSync sync_;
  CarrierWatch carrier_;
  CodeModel codes_;
  ReceivedText out_;
  std::vector<Outputs> history_;
  size_t historyMask_;
  std::vector<Cf> baseband_;
  std::vector<Cf> recent_;  // the last two seconds of baseband, decoded again when a signal is found
  size_t recentMask_;
  int64_t recentCount_ = 0;
  std::vector<Frame> frames_;
  Hold hold_ = Hold::kNone;
  std::vector<Waiting> waiting_;
  bool resumeNow_ = false;
  bool bandHeard_ = false;    // the band's noise was measured before the held signal began
  int64_t heldFrom_ = 0;      // characters starting before this are not the held signal's...
  int64_t heldUntil_ = 0;     // ...nor those ending after this (the carrier's end, once known)
  int64_t shownUntil_ = 0;    // the end of the last character shown
  int64_t signalFrom_ = 0;    // where the held signal seemed to begin
  int64_t watchFrom_ = 0;     // the carrier is watched from here
  int64_t elementPhase_ = 0;  // a sample where an element of the held signal ends
  int learnt_ = 0;            // elements learnt since the last correction
  double offset_ = 0;         // frequency correction, Hz
  double noise_ = 0;          // element filter power with no tone
  double held_ = 0;           // both filters' power, at its recent peak
  Cd drift_{0, 0};            // phase advance over half an element, summed over decided elements
  // For the signal-to-noise report: the element learnt last, and the noise under the signal.
  FrameSync::Element lastElement_{};
  SplitNoise splitNoise_;
  double snrDb_ = -99;
  int64_t inputCount_ = 0;  // input samples since Reset
  int64_t syncOrigin_ = 0;  // the baseband sample the framing counts from
  std::vector<int64_t> stopEnds_;
  std::vector<Keyed> keyed_;
};

}  // namespace zk
