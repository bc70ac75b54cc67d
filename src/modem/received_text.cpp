#include "modem/received_text.h"

namespace zk {

namespace {

constexpr double kShiftDoubt = 3;  // nats: a code this close to a shift may have been one
constexpr size_t kLongestWord = 8;
constexpr uint8_t kBlank = 0, kLineFeed = 2, kSpace = 4, kReturn = 8;

// Q W E R T Y U I O P: the digits in figures.
bool TopRow(uint8_t code) {
  switch (code) {
    case 23:
    case 19:
    case 1:
    case 10:
    case 16:
    case 21:
    case 7:
    case 6:
    case 24:
    case 22: return true;
    default: return false;
  }
}

bool EndsWord(uint8_t code) {
  return code == kBlank || code == kLineFeed || code == kSpace || code == kReturn || code == kFigs || code == kLtrs;
}

// How well five elements' evidence fits a code, in nats up to a term all codes share.
double Fit(const float llr[5], uint8_t code) {
  double fit = 0;
  for (int b = 0; b < 5; ++b) fit += ((code >> b) & 1) ? llr[b] / 2 : -llr[b] / 2;
  return fit;
}

}  // namespace

void ReceivedText::NewTransmission() {
  codec_ = BaudotCodec();
  held_.clear();
  doubt_ = Doubt::kNone;
}

void ReceivedText::Show(uint8_t code, int64_t end, std::string& text, std::vector<int64_t>& ends) {
  const char ch = codec_.Decode(code, ltrsOnSpace_);
  if (ch == 0) return;
  text.push_back(ch);
  ends.push_back(end);
}

void ReceivedText::Add(uint8_t code, const float llr[5], int64_t end, std::string& text, std::vector<int64_t>& ends) {
  if (!held_.empty()) {
    if (!EndsWord(code) && held_.size() < kLongestWord) {
      held_.push_back({code, end});
      return;
    }
    Resolve(text, ends);
  }
  const bool figures = codec_.rxFigures();
  const uint8_t shift = figures ? kLtrs : kFigs;
  if (!EndsWord(code) && Fit(llr, code) - Fit(llr, shift) < kShiftDoubt) {
    doubt_ = figures ? Doubt::kLetters : Doubt::kFigures;
    shiftHeld_ = true;
    held_.push_back({code, end});
    return;
  }
  if (doubt_ == Doubt::kFigures && TopRow(code)) {  // the word after a space that left figures
    shiftHeld_ = false;
    held_.push_back({code, end});
    return;
  }
  doubt_ = Doubt::kNone;
  Show(code, end, text, ends);
  if (code == kSpace && figures && !codec_.rxFigures()) doubt_ = Doubt::kFigures;
}

bool ReceivedText::Repairs() const {
  const size_t first = shiftHeld_ ? 1 : 0, letters = held_.size() - first;
  size_t topRow = 0;
  for (size_t i = first; i < held_.size(); ++i) topRow += TopRow(held_[i].code);
  // A space alone is weaker evidence than a code that nearly was a shift: a longer word.
  if (doubt_ == Doubt::kFigures) return letters >= (shiftHeld_ ? 2u : 3u) && topRow == letters;
  return letters >= 2 && 2 * (letters - topRow) > letters;  // figures that are mostly not digits
}

void ReceivedText::Resolve(std::string& text, std::vector<int64_t>& ends) {
  size_t i = 0;
  if (Repairs()) {
    codec_.Decode(doubt_ == Doubt::kFigures ? kFigs : kLtrs, ltrsOnSpace_);
    i = shiftHeld_ ? 1 : 0;  // it was the shift
  }
  for (; i < held_.size(); ++i) Show(held_[i].code, held_[i].end, text, ends);
  held_.clear();
  doubt_ = Doubt::kNone;
}

void ReceivedText::Flush(std::string& text, std::vector<int64_t>& ends) {
  if (!held_.empty()) Resolve(text, ends);
  doubt_ = Doubt::kNone;
}

}  // namespace zk
