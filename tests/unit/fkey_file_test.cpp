#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "messages/auto_repeat.h"
#include "messages/fkey_file.h"
#include "messages/fkey_set.h"

namespace zk {
namespace {

FKeySet Loaded(const std::string& text, FKeySet set = DefaultFKeySet()) {
  LoadFKeyText(set, text.data(), text.size());
  return set;
}

// The repeat values and the two formats.
std::string Extras(const FKeySet& set) {
  return std::to_string(set.repeatfkey) + " " + std::to_string(set.repeatsec) + " [" +
         set.hisrstformat + "] [" + set.exchangeformat + "]";
}

TEST(FKeyFile, SavesTwelveLinesAndLoadsBack) {
  char dir[] = "/tmp/zk_fkeys_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/keys.rtm";
  FKeySet set = DefaultFKeySet();
  ASSERT_TRUE(SaveFKeyFile(set, path.c_str()));
  std::ifstream in(path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
            "F1: <F1  CQ> -\\tcq cq cq de (MYCALL) (MYCALL) (MYCALL) k \\s\n"
            "F2: <F2  My call> (mycall)\n"
            "F3: \n"
            "F4: <F4  TU> -\\t(HISCALL) tu (HISRST) (HISRST) (MYCALL)\\s\n"
            "F5: <F5  Exchange> (hiscall) de (mycall)\n"
            "F6: \nF7: \nF8: \nF9: \n"
            "repeat 0 0\nrst \nexchange \n");
  EXPECT_EQ(access((path + ".tmp").c_str(), F_OK), -1);

  FKeySet other = Loaded("F3: x\nF7: y\nrepeat 4 4\nrst #1\nexchange #2");
  ASSERT_TRUE(LoadFKeyFile(other, path.c_str()));
  for (int i = 0; i < kFKeyCount; ++i) EXPECT_STREQ(other.messages[i], set.messages[i]) << i;
  EXPECT_EQ(Extras(other), "0 0 [] []");

  // Missing files: a failed save cleans nothing; a failed load still clears the formats
  // and the auto-repeat but keeps the messages.
  other = Loaded("rst #1 #2\nexchange #2\nrepeat 1 5\nF3: kept");
  const std::string nowhere = std::string(dir) + "/no/such.rtm";
  EXPECT_FALSE(SaveFKeyFile(other, nowhere.c_str()));
  EXPECT_NE(std::strchr(other.messages[0], '\r'), nullptr);
  EXPECT_FALSE(LoadFKeyFile(other, nowhere.c_str()));
  EXPECT_EQ(Extras(other), "0 0 [] []");
  EXPECT_STREQ(other.messages[2], "kept");
  std::remove(path.c_str());
  rmdir(dir);
}

TEST(FKeyFileLoad, KeyRepeatAndFormatLines) {
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

  const char* const cases[][2] = {
      {"REPEAT 3 20\nrstx text\nExchange  #1 #2\n", "3 20 [text] [ #1 #2]"},  // prefixes count
      {"repeat 3\nrst\nexchange", "3 0 [] []"},
      {"repeated  x  7", "0 7 [] []"},
      {"repeat 99999999999999999999 -99999999999999999999", "2147483647 -2147483648 [] []"},
  };
  for (const auto& c : cases) EXPECT_EQ(Extras(Loaded(c[0])), c[1]) << c[0];
}

// Ticks as text: '.' for nothing, the key number when it goes out.
std::string Ticks(AutoRepeat& repeat, int count, int repeatfkey = 1) {
  std::string out;
  for (int i = 0; i < count; ++i) {
    const int key = repeat.Tick(repeatfkey);
    out += key < 0 ? '.' : static_cast<char>('1' + key);
  }
  return out;
}

TEST(AutoRepeat, ComesBackOnTheTickAfterThePause) {
  AutoRepeat repeat;
  repeat.OnFKeySent(true);
  EXPECT_EQ(Ticks(repeat, 3), "...");  // on the air: no countdown yet
  repeat.OnReturnToReceive(10);
  EXPECT_EQ(Ticks(repeat, 13), "..........1..");
  EXPECT_FALSE(repeat.armed());
  EXPECT_EQ(repeat.countdown(), -1);

  repeat.OnFKeySent(true);
  repeat.OnReturnToReceive(10);
  Ticks(repeat, 5);
  repeat.OnReturnToReceive(2);  // back to receive by hand restarts the pause
  EXPECT_EQ(Ticks(repeat, 4), "..1.");
  repeat.OnFKeySent(true);
  repeat.OnReturnToReceive(3);
  repeat.Tick(1);
  repeat.Cancel();
  EXPECT_EQ(Ticks(repeat, 20), std::string(20, '.'));
  repeat.OnFKeySent(false);  // a key that does not repeat
  repeat.OnReturnToReceive(0);
  EXPECT_EQ(repeat.countdown(), -1);
  EXPECT_EQ(Ticks(repeat, 2), "..");
  repeat.OnFKeySent(true);
  repeat.OnReturnToReceive(0);
  EXPECT_EQ(Ticks(repeat, 1, 10), ".");  // no such key: disarms without sending
  EXPECT_FALSE(repeat.armed());
}

}  // namespace
}  // namespace zk
