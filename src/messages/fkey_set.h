#pragma once
#include <cstdint>

namespace zk {

constexpr int kFKeyCount = 9;
constexpr int kFKeyMessageSize = 500;  // one function-key message, terminator included
constexpr int kReportFormatSize = 200;

// The nine function-key messages with the two report formats and the auto-repeat choice.
struct FKeySet {
  char messages[kFKeyCount][kFKeyMessageSize];
  char hisRstFormat[kReportFormatSize];    // of "(HISRST)"
  char exchangeFormat[kReportFormatSize];  // of "(EXCHANGEONLY)"
  int32_t repeatKey;                       // 1..9 repeats that key; anything else means no auto-repeat
  int32_t repeatSeconds;                   // pause after each transmission
};

// The built-in set: CQ on F1, own call on F2, TU on F4, exchange on F5.
FKeySet DefaultFKeySet();

}  // namespace zk
