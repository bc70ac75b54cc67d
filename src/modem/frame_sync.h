#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zk {

// One character as the receiver decided it.
struct Frame {
  int64_t start;  // first sample of the start element
  int64_t end;    // first sample after the stop element
  uint8_t code;   // the five data elements, first one in the lowest bit
  float llr[7];   // mark-over-space evidence of start, data and stop elements
};

// Character framing by the most likely explanation of the received stream: characters
// (a space start element, five data elements, a mark stop element) separated by mark of
// any length, scored from the element filters' evidence at every sample. Every sample
// may start a character, so timing is as fine as the sample rate. A character that
// follows the one before it at the learnt spacing (within a few samples: the sender's
// clock) costs nothing, one after a pause costs a fixed amount, so a continuous stream
// keeps its timing through noise while a character after a pause is found wherever it
// starts. Characters still arriving count with the elements seen so far, so the choice
// settles soon after a stop element, and each character is decided a fixed lag after it.
class FrameSync {
 public:
  // lag: samples after a character's stop element before it is decided.
  FrameSync(int samplesPerElement, double stopBits, int lag);

  // Takes the evidence (log-likelihood ratio, mark over space) for the element that ends
  // at the newest sample. Appends the characters now decided, oldest first.
  void Push(float llr, std::vector<Frame>& decided);
  // Decides what the best path holds now, without waiting for the lag (end of input).
  void Flush(std::vector<Frame>& decided);
  void Reset();
  // Where the signal is known to begin: a character starting earlier is unlikely, as its
  // first elements would be noise (strong evidence still outweighs this).
  void FirstCharacterFrom(int64_t sample);

  int64_t now() const { return now_; }          // the path has taken evidence up to here...
  int64_t arrived() const { return arrived_; }  // ...of what has arrived
  // Everything before this sample is decided: characters or idle mark.
  int64_t decidedUntil() const { return decidedUntil_; }
  int frameLength() const { return 7 * element_; }
  // Elements of the best path so far, each given once, with their tones: what the
  // receiver's levels and frequency follow, without waiting for decisions.
  struct Element {
    int64_t end;  // its last sample
    bool mark;
  };
  const std::vector<Element>& elements() const { return elements_; }

 private:
  size_t Slot(int64_t t) const { return static_cast<size_t>(t) & mask_; }
  bool Held(int64_t t) const { return t >= 0 && t > now_ - static_cast<int64_t>(mask_); }
  double Llr(int64_t t) const { return llr_[Slot(t)]; }
  void AddElements();
  void EndFrames();
  double IdleSince(int64_t end) const;
  void FollowIdle();
  void StartFrame();
  struct Best {
    double score;
    int64_t lastEnd;  // where its last whole character ended
    int64_t start;    // where the character it is inside started, or -1
  };
  Best BestNow() const;
  void NoteElements(const Best& best);
  void Decide(std::vector<Frame>& decided, int64_t lag);
  Frame MakeFrame(int64_t start, int64_t end) const;
  void Renormalise();
  void LearnPauses(bool pause);

  int element_;
  int lag_;
  int jitter_;                          // samples a character may come early or late against the spacing
  int gapStates_;                       // samples after a stop element that still count as back to back
  double stopGap_;                      // mark after one stop element, from the configured stop length
  double gap_;                          // the same, learnt from the sender
  int spacings_ = 0;                    // spacings learnt from
  double pauses_ = 0, characters_ = 0;  // characters after a pause, of all, lately
  double startCost_ = 0;                // of a character after a pause
  size_t mask_;
  std::vector<float> llr_;
  std::vector<double> idleSum_;   // running sum of the idle evidence
  std::vector<double> frame_;     // by start: best score of a path in this character
  std::vector<int64_t> prevEnd_;  // by start: where the character before it ended
  std::vector<double> ended_;     // by end: best score of a path ending a character here
  std::vector<int64_t> startOf_;  // by end: where that character started
  double idle_ = 0;               // best score of a path in a long pause
  int64_t idleLast_ = -1;         // where its last character ended
  std::vector<double> idleAt_;    // the same two, as they were at each sample
  std::vector<int64_t> idleLastAt_;
  int64_t arrived_ = 0;  // evidence taken
  int64_t now_ = 0;      // how far the path has gone
  int64_t decidedUntil_ = 0;
  int64_t lastStart_ = 0;  // the last decided character's start
  std::vector<Element> elements_;
  int64_t noted_ = 0;  // elements before this have been told
  int64_t firstStart_ = 0;
};

}  // namespace zk
