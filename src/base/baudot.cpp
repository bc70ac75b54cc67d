#include "base/baudot.h"

namespace zk {

namespace {

// Decoding entries that are not characters: the blank code and the two shifts keep
// their own byte so the decoder can tell them apart from text.
constexpr char kBlankEntry = 0x7F;
constexpr char kFigsEntry = 0x1B;
constexpr char kLtrsEntry = 0x1F;

constexpr uint8_t kCodeCr = 8;
constexpr uint8_t kCodeLf = 2;

// What each received code stands for in letters shift, indexed by code.
constexpr char kLetters[32] = {
    kBlankEntry,  //  0 blank
    'E',          //  1
    '\n',         //  2 line feed
    'A',          //  3
    ' ',          //  4
    'S',          //  5
    'I',          //  6
    'U',          //  7
    '\r',         //  8 carriage return
    'D',          //  9
    'R',          // 10
    'J',          // 11
    'N',          // 12
    'F',          // 13
    'C',          // 14
    'K',          // 15
    'T',          // 16
    'Z',          // 17
    'L',          // 18
    'W',          // 19
    'H',          // 20
    'Y',          // 21
    'P',          // 22
    'Q',          // 23
    'O',          // 24
    'B',          // 25
    'G',          // 26
    kFigsEntry,   // 27 FIGS
    'M',          // 28
    'X',          // 29
    'V',          // 30
    kLtrsEntry,   // 31 LTRS
};

// The US teleprinter figures set, except that code 5 (the bell) prints as a space.
constexpr char kFigures[32] = {
    kBlankEntry,  //  0 blank
    '3',          //  1
    '\n',         //  2 line feed
    '-',          //  3
    ' ',          //  4
    ' ',          //  5 bell, shown as a space
    '8',          //  6
    '7',          //  7
    '\r',         //  8 carriage return
    '$',          //  9
    '4',          // 10
    '\'',         // 11
    ',',          // 12
    '!',          // 13
    ':',          // 14
    '(',          // 15
    '5',          // 16
    '"',          // 17
    ')',          // 18
    '2',          // 19
    '#',          // 20
    '6',          // 21
    '0',          // 22
    '1',          // 23
    '9',          // 24
    '?',          // 25
    '&',          // 26
    kFigsEntry,   // 27 FIGS
    '.',          // 28
    '/',          // 29
    ';',          // 30
    kLtrsEntry,   // 31 LTRS
};

// The code sent for each upper-cased character up to "Z". Characters without a code of
// their own send 28, which the far end prints as "." in figures shift.
// clang-format off
constexpr uint8_t kEncode[91] = {
    28, 28, 28, 28, 28, 28, 28,  5,  // 0x00-0x07: BEL 5
    28, 28,  2, 28, 28,  8, 28, 28,  // 0x08-0x0F: LF 2, CR 8
    28, 28, 28, 28, 28, 28, 28, 28,  // 0x10-0x17
    28, 28, 28, 27, 28, 28, 28, 31,  // 0x18-0x1F: ESC 27, US 31
     4, 13, 17, 20,  9, 28, 26, 11,  // 0x20-0x27: space ! " # $ % & '
    15, 18, 28, 28, 12,  3, 28, 29,  // 0x28-0x2F: ( ) * + , - . /
    22, 23, 19,  1, 10, 16, 21,  7,  // 0x30-0x37: 0-7
     6, 24, 14, 30, 28, 28, 28, 25,  // 0x38-0x3F: 8 9 : ; < = > ?
    28,  3, 25, 14,  9,  1, 13, 26,  // 0x40-0x47: @ A-G
    20,  6, 11, 15, 18, 28, 12, 24,  // 0x48-0x4F: H-O
    22, 23, 10,  5, 16,  7, 30, 19,  // 0x50-0x57: P-W
    29, 21, 17,                      // 0x58-0x5A: X-Z
};
// clang-format on
static_assert(sizeof kEncode == 91, "one entry per character up to Z");

}  // namespace

char BaudotCodec::Decode(uint8_t code, bool ltrsOnSpace) {
  const char ch = (rxFigures_ ? kFigures : kLetters)[code & 0x1F];
  switch (ch) {
    case kBlankEntry: return 0;
    case kFigsEntry: rxFigures_ = true; return 0;
    case kLtrsEntry: rxFigures_ = false; return 0;
    case '\r':
    case '\n': rxFigures_ = false; return ch;
    case ' ':
      if (ltrsOnSpace) rxFigures_ = false;
      return ch;
    default: return ch;
  }
}

int BaudotCodec::Encode(char ch, uint8_t out[5]) {
  unsigned u = static_cast<unsigned char>(ch);
  if (u >= 'a' && u <= 'z') u = u - ('a' - 'A');
  int n = 0;
  if (u == 0 || u > 'Z') {
    out[0] = 0;
    return 0;
  }
  if (u == '\r' || u == '\n') {
    // A newline always leaves the far end in letters, whatever we thought it was in.
    out[n++] = kLtrs;
    out[n++] = kLtrs;
    txFigures_ = false;
    out[n++] = kCodeCr;
    out[n++] = kCodeLf;
  } else {
    const bool lettersShift = u == ' ' || (u >= 'A' && u <= 'Z');
    if (lettersShift && txFigures_) {
      out[n++] = kLtrs;
      out[n++] = kLtrs;
      txFigures_ = false;
    } else if (!lettersShift && !txFigures_) {
      out[n++] = kFigs;
      out[n++] = kFigs;
      txFigures_ = true;
    }
    out[n++] = kEncode[u];
  }
  out[n] = 0;
  return n;
}

void BaudotCodec::SyncLetters(CodeWriter& port) {
  txFigures_ = false;
  const uint8_t codes[2] = {kLtrs, kLtrs};
  port.WriteCodes(codes, 2);
}

}  // namespace zk
