#include <gtest/gtest.h>

#include "modem/call_sign.h"

namespace zk {
namespace {

TEST(CallSign, CallsOfEveryPrefixShapeAndPortableFormsAreFoundButNotNumbersRigsOrReports) {
  for (const char* call : {"W1AW", "K1ABC", "G4X", "9A2AA", "S51A", "4X4XX", "HB9ABC", "VK2ABCD", "2E0ABC", "3DA0XY",
                           "W1AW/P", "W1AW/MM", "DL/W1AW", "W1AW/VE3", "VE3/W1AW/QRP", "SP6KR/9"})
    EXPECT_TRUE(IsCallSign(call)) << call;
  for (const char* word : {"599", "5NN", "001", "TU", "CQ", "K3", "FT991", "IC7300", "100W", "3EL", "73", "W1ABCDE",
                           "W1AW/", "/W1AW", "W1AW/XYZ", "1ST", "W1AW/P/P"})
    EXPECT_FALSE(IsCallSign(word)) << word;
}

TEST(CallSign, TheLastCallInTheTextWins) {
  EXPECT_EQ(LastCallSign("CQ TEST DE k1abc K1ABC\r\nPY5EKC 599 012 012"), "PY5EKC");
  EXPECT_EQ(LastCallSign("RIG IC7300 PWR 100W UR 599 599"), "");
  EXPECT_EQ(LastCallSign("..DL/W1AW,"), "DL/W1AW");
}

}  // namespace
}  // namespace zk
