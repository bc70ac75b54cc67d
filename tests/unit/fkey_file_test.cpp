#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

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

class FKeyFile : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(mkdtemp(dir_), nullptr); }
  void TearDown() override {
    std::remove(Path().c_str());
    rmdir(dir_);
  }
  std::string Path() const { return std::string(dir_) + "/keys.rtm"; }
  std::string ReadBack() const {
    std::string text;
    std::FILE* f = std::fopen(Path().c_str(), "r");
    if (!f) return "(none)";
    for (int ch; (ch = std::fgetc(f)) != EOF;) text += static_cast<char>(ch);
    std::fclose(f);
    return text;
  }
  char dir_[32] = "/tmp/zk_fkeys_XXXXXX";
};

TEST_F(FKeyFile, DefaultSetSavesTwelveLinesAndLoadsBack) {
  FKeySet set = DefaultFKeySet();
  ASSERT_TRUE(SaveFKeyFile(set, Path().c_str()));
  EXPECT_EQ(ReadBack(),
            "F1: <F1  CQ> -\\tcq cq cq de (MYCALL) (MYCALL) (MYCALL) k \\s\n"
            "F2: <F2  My call> (mycall)\n"
            "F3: \n"
            "F4: <F4  TU> -\\t(HISCALL) tu (HISRST) (HISRST) (MYCALL)\\s\n"
            "F5: <F5  Exchange> (hiscall) de (mycall)\n"
            "F6: \nF7: \nF8: \nF9: \n"
            "repeat 0 0\nrst \nexchange \n");
  EXPECT_STREQ(set.messages[0], "<F1  CQ> -\\tcq cq cq de (MYCALL) (MYCALL) (MYCALL) k \\s");
  EXPECT_EQ(access((Path() + ".tmp").c_str(), F_OK), -1);

  FKeySet other = Loaded("F3: x\nF7: y\nrepeat 4 4\nrst #1\nexchange #2");
  ASSERT_TRUE(LoadFKeyFile(other, Path().c_str()));
  for (int i = 0; i < kFKeyCount; ++i) EXPECT_STREQ(other.messages[i], set.messages[i]) << i;
  EXPECT_STREQ(other.hisrstformat, "");
  EXPECT_STREQ(other.exchangeformat, "");
  EXPECT_EQ(other.repeatfkey, 0);
  EXPECT_EQ(other.repeatsec, 0);
}

TEST_F(FKeyFile, MissingFiles) {
  FKeySet set = Loaded("rst #1 #2\nexchange #2\nrepeat 1 5\nF3: kept");
  std::string nowhere = std::string(dir_) + "/no/such.rtm";
  EXPECT_FALSE(SaveFKeyFile(set, nowhere.c_str()));
  EXPECT_FALSE(LoadFKeyFile(set, nowhere.c_str()));
  EXPECT_STREQ(set.hisrstformat, "");
  EXPECT_STREQ(set.exchangeformat, "");
  EXPECT_EQ(set.repeatfkey, 0);
  EXPECT_EQ(set.repeatsec, 0);
  EXPECT_STREQ(set.messages[2], "kept");
  EXPECT_NE(std::strchr(set.messages[0], '\r'), nullptr);  // a failed save cleans nothing
}

TEST(FKeyFileLoad, KeyLines) {
  FKeySet set = Loaded("F10: ten\r\nF1:\nF2: \nFxyz hello\nf5: lower\nF0004:\tfour\nF-3: neg");
  EXPECT_STREQ(set.messages[8], " ten");
  EXPECT_STREQ(set.messages[1], "");
  EXPECT_STREQ(set.messages[0], " neg");  // after "Fxyz" set it to " hello"
  EXPECT_STREQ(set.messages[4], "<F5  Exchange> (hiscall) de (mycall)");
  EXPECT_STREQ(set.messages[3], "4: four");
  EXPECT_STREQ(Loaded("F99999999999999999999999: x").messages[8], "99999999999999999999: x");
  EXPECT_STREQ(Loaded("Fxyz hello").messages[0], " hello");
}

TEST(FKeyFileLoad, LongLinesAreCutNotSplit) {
  std::string text = "F2: " + std::string(995, 'a') + "F7: piece\nrst " + std::string(300, 'r');
  FKeySet set = Loaded(text);
  EXPECT_EQ(std::string(set.messages[1]), std::string(499, 'a'));
  EXPECT_STREQ(set.messages[6], "");
  EXPECT_EQ(std::string(set.hisrstformat), std::string(199, 'r'));
}

TEST(FKeyFileLoad, RepeatAndFormatLines) {
  FKeySet set = Loaded("REPEAT 3 20\nrstx text\nExchange  #1 #2\n");
  EXPECT_EQ(set.repeatfkey, 3);
  EXPECT_EQ(set.repeatsec, 20);
  EXPECT_STREQ(set.hisrstformat, "text");
  EXPECT_STREQ(set.exchangeformat, " #1 #2");
  set = Loaded("repeat 3\nrst\nexchange");
  EXPECT_EQ(set.repeatfkey, 3);
  EXPECT_EQ(set.repeatsec, 0);
  EXPECT_STREQ(set.hisrstformat, "");
  set.repeatsec = 9;
  LoadFKeyText(set, "repeated  x  7", 14);
  EXPECT_EQ(set.repeatfkey, 0);
  EXPECT_EQ(set.repeatsec, 7);
  set = Loaded("repeat 99999999999999999999 -99999999999999999999");
  EXPECT_EQ(set.repeatfkey, INT32_MAX);
  EXPECT_EQ(set.repeatsec, INT32_MIN);
}

TEST(AutoRepeat, ComesBackOnTheTickAfterThePause) {
  FKeySet set = DefaultFKeySet();
  set.repeatfkey = 1;
  set.repeatsec = 10;
  AutoRepeat repeat;
  repeat.OnFKeySent(ShouldArmRepeat(0, set));
  EXPECT_EQ(repeat.Tick(set.repeatfkey), -1);  // on the air: no countdown yet
  repeat.OnReturnToReceive(set.repeatsec);
  for (int tick = 1; tick <= 10; ++tick) EXPECT_EQ(repeat.Tick(set.repeatfkey), -1) << tick;
  EXPECT_EQ(repeat.Tick(set.repeatfkey), 0);
  EXPECT_FALSE(repeat.armed());
  EXPECT_EQ(repeat.countdown(), -1);

  repeat.OnFKeySent(true);
  repeat.OnReturnToReceive(10);
  for (int tick = 1; tick <= 5; ++tick) repeat.Tick(1);
  repeat.OnReturnToReceive(2);  // back to receive by hand restarts the pause
  EXPECT_EQ(repeat.Tick(1), -1);
  EXPECT_EQ(repeat.Tick(1), -1);
  EXPECT_EQ(repeat.Tick(1), 0);
}

TEST(AutoRepeat, CancelAndUnarmedSendsNeverRepeat) {
  AutoRepeat repeat;
  repeat.OnFKeySent(true);
  repeat.OnReturnToReceive(3);
  repeat.Tick(1);
  repeat.Cancel();
  for (int tick = 0; tick < 20; ++tick) EXPECT_EQ(repeat.Tick(1), -1);

  FKeySet set = DefaultFKeySet();
  set.repeatfkey = 2;
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
