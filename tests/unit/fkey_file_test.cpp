#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "messages/auto_repeat.h"
#include "messages/compose.h"
#include "messages/fkey_file.h"
#include "messages/fkey_set.h"

namespace zk {
namespace {

FKeySet Loaded(const std::string& text, FKeySet set = DefaultFKeySet()) {
  LoadFKeyText(set, text.data(), text.size());
  return set;
}

std::string Repeat(const FKeySet& set) {
  return std::to_string(set.repeatfkey) + " " + std::to_string(set.repeatsec);
}

TEST(FKeyFile, SavesTwelveLinesAndLoadsBack) {
  char dir[] = "/tmp/zk_fkeys_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/keys.rtm";
  FKeySet set = DefaultFKeySet();
  ASSERT_TRUE(SaveFKeyFile(set, path.c_str()));
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "r")) {
    for (int ch; (ch = std::fgetc(f)) != EOF;) text += static_cast<char>(ch);
    std::fclose(f);
  }
  EXPECT_EQ(text,
            "F1: <F1  CQ> -\\tcq cq cq de (MYCALL) (MYCALL) (MYCALL) k \\s\n"
            "F2: <F2  My call> (mycall)\n"
            "F3: \n"
            "F4: <F4  TU> -\\t(HISCALL) tu (HISRST) (HISRST) (MYCALL)\\s\n"
            "F5: <F5  Exchange> (hiscall) de (mycall)\n"
            "F6: \nF7: \nF8: \nF9: \n"
            "repeat 0 0\nrst \nexchange \n");
  // Saving cleans the set in memory the way the file has it.
  EXPECT_STREQ(set.messages[0], "<F1  CQ> -\\tcq cq cq de (MYCALL) (MYCALL) (MYCALL) k \\s");
  EXPECT_EQ(access((path + ".tmp").c_str(), F_OK), -1);

  FKeySet other = Loaded("F3: x\nF7: y\nrepeat 4 4\nrst #1\nexchange #2");
  ASSERT_TRUE(LoadFKeyFile(other, path.c_str()));
  for (int i = 0; i < kFKeyCount; ++i) EXPECT_STREQ(other.messages[i], set.messages[i]) << i;
  EXPECT_STREQ(other.hisrstformat, "");
  EXPECT_STREQ(other.exchangeformat, "");
  EXPECT_EQ(Repeat(other), "0 0");

  // Missing files: a failed save cleans nothing; a failed load still clears the formats
  // and the auto-repeat but keeps the messages.
  other = Loaded("rst #1 #2\nexchange #2\nrepeat 1 5\nF3: kept");
  const std::string nowhere = std::string(dir) + "/no/such.rtm";
  EXPECT_FALSE(SaveFKeyFile(other, nowhere.c_str()));
  EXPECT_NE(std::strchr(other.messages[0], '\r'), nullptr);
  EXPECT_FALSE(LoadFKeyFile(other, nowhere.c_str()));
  EXPECT_STREQ(other.hisrstformat, "");
  EXPECT_STREQ(other.exchangeformat, "");
  EXPECT_EQ(Repeat(other), "0 0");
  EXPECT_STREQ(other.messages[2], "kept");
  std::remove(path.c_str());
  rmdir(dir);
}

TEST(FKeyFileLoad, KeyLines) {
  FKeySet set = Loaded("F10: ten\r\nF1:\nF2: \nFxyz hello\nf5: lower\nF0004:\tfour\nF-3: neg");
  EXPECT_STREQ(set.messages[8], " ten");  // numbers past 9 name F9
  EXPECT_STREQ(set.messages[1], "");
  EXPECT_STREQ(set.messages[0], " neg");  // so do numbers below 1, "Fxyz" included
  EXPECT_STREQ(set.messages[4], "<F5  Exchange> (hiscall) de (mycall)");
  EXPECT_STREQ(set.messages[3], "4: four");  // the message starts at the fifth character
  EXPECT_STREQ(Loaded("F99999999999999999999999: x").messages[8], "99999999999999999999: x");
  EXPECT_STREQ(Loaded("Fxyz hello").messages[0], " hello");

  // Long lines are cut, not split.
  set = Loaded("F2: " + std::string(995, 'a') + "F7: piece\nrst " + std::string(300, 'r'));
  EXPECT_EQ(std::string(set.messages[1]), std::string(499, 'a'));
  EXPECT_STREQ(set.messages[6], "");
  EXPECT_EQ(std::string(set.hisrstformat), std::string(199, 'r'));
}

TEST(FKeyFileLoad, RepeatAndFormatLines) {
  FKeySet set = Loaded("REPEAT 3 20\nrstx text\nExchange  #1 #2\n");
  EXPECT_EQ(Repeat(set), "3 20");
  EXPECT_STREQ(set.hisrstformat, "text");
  EXPECT_STREQ(set.exchangeformat, " #1 #2");
  set = Loaded("repeat 3\nrst\nexchange");
  EXPECT_EQ(Repeat(set), "3 0");
  EXPECT_STREQ(set.hisrstformat, "");
  set.repeatsec = 9;
  LoadFKeyText(set, "repeated  x  7", 14);
  EXPECT_EQ(Repeat(set), "0 7");
  EXPECT_EQ(Repeat(Loaded("repeat 99999999999999999999 -99999999999999999999")),
            std::to_string(INT32_MAX) + " " + std::to_string(INT32_MIN));
}

TEST(AutoRepeat, ComesBackOnTheTickAfterThePause) {
  FKeySet set = DefaultFKeySet();
  set.repeatfkey = 1;
  AutoRepeat repeat;
  repeat.OnFKeySent(ShouldArmRepeat(0, set));
  EXPECT_EQ(repeat.Tick(1), -1);  // on the air: no countdown yet
  repeat.OnReturnToReceive(10);
  for (int tick = 1; tick <= 10; ++tick) EXPECT_EQ(repeat.Tick(1), -1) << tick;
  EXPECT_EQ(repeat.Tick(1), 0);
  EXPECT_FALSE(repeat.armed());
  EXPECT_EQ(repeat.countdown(), -1);

  repeat.OnFKeySent(true);
  repeat.OnReturnToReceive(10);
  for (int tick = 1; tick <= 5; ++tick) repeat.Tick(1);
  repeat.OnReturnToReceive(2);  // back to receive by hand restarts the pause
  EXPECT_EQ(repeat.Tick(1), -1);
  EXPECT_EQ(repeat.Tick(1), -1);
  EXPECT_EQ(repeat.Tick(1), 0);

  repeat.OnFKeySent(true);
  repeat.OnReturnToReceive(3);
  repeat.Tick(1);
  repeat.Cancel();
  for (int tick = 0; tick < 20; ++tick) EXPECT_EQ(repeat.Tick(1), -1);
  set.repeatfkey = 2;  // F2 lacks the escapes
  repeat.OnFKeySent(ShouldArmRepeat(1, set));
  repeat.OnReturnToReceive(0);
  EXPECT_EQ(repeat.countdown(), -1);
  EXPECT_EQ(repeat.Tick(2), -1);
  repeat.OnFKeySent(true);
  repeat.OnReturnToReceive(0);
  EXPECT_EQ(repeat.Tick(10), -1);  // no such key: disarms without sending
  EXPECT_FALSE(repeat.armed());
}

}  // namespace
}  // namespace zk
