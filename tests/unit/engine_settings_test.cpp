#include "engine/engine_settings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace zk {
namespace {

EngineSettings Read(const std::string& text, EngineSettings s = {}) {
  ReadEngineSettingsText(s, text.data(), text.size());
  return s;
}

TEST(EngineSettings, EveryValueSurvivesTheFile) {
  EngineSettings s;
  s.inDevice = "Monitor of zkloop";
  s.outDevice = "zkloop";
  s.sampleRate = 44100;
  s.baud = 75;
  s.shift = 850;
  s.mark = 1275.5;
  s.stopBits = 2;
  s.reverse = true;
  s.afc = s.squelch = false;
  s.squelchDb = -9.5;
  s.txLevel = 7;
  s.ptt = PttKind::kRigctld;
  s.pttPort = 12;
  s.rigctldHost = "radio.local";
  s.rigctldPort = 4533;
  s.rxFile = "C:\\rec\\band noise.wav";
  s.txFile = "/tmp/tx.wav";
  s.windowLoc[0] = -3, s.windowLoc[1] = 4, s.windowLoc[2] = 500, s.windowLoc[3] = 600;
  const std::string text = FormatEngineSettings(s);
  EXPECT_EQ(FormatEngineSettings(Read(text)), text);
  EXPECT_NE(FormatEngineSettings(EngineSettings{}), text);  // every line differs from the default
  EXPECT_EQ(text.find("ptt rigctld\npttport COM12\n") != std::string::npos, true);

  const std::string path = testing::TempDir() + "zkmodem_settings_test.ini";
  ASSERT_TRUE(WriteEngineSettingsFile(s, path.c_str()));
  EngineSettings back;
  ASSERT_TRUE(ReadEngineSettingsFile(back, path.c_str()));
  EXPECT_EQ(FormatEngineSettings(back), text);
  std::remove(path.c_str());
  EXPECT_FALSE(ReadEngineSettingsFile(back, path.c_str()));
}

TEST(EngineSettings, ValuesOutOfRangeOrNotUnderstoodKeepTheSetting) {
  const std::string bad =
      "samplerate 96000\nsamplerate 8000.5\nbaud 1e999\nshift abc\nstopbits 1.25\nreverse 2\nafc yes\n"
      "squelchdb -30.5\nsquelchdb 31\nsquelchdb off\n"
      "txlevel 0\nptt vox\npttport COM0\npttport 256\nrigctldhost two words\nrigctldport 70000\n"
      "windowloc 1 2 3\nmark -5\nnokey 1\n\n   \n" + std::string(70, 'x') + "\nindevice " + std::string(64, 'd') +
      "\nrxfile " + std::string(260, 'p') + "\n";
  EXPECT_EQ(FormatEngineSettings(Read(bad)), FormatEngineSettings(EngineSettings{}));

  const EngineSettings s = Read("pttport com3\r\nptt dtr\r\nrxfile  a b.wav  \r\nstopbits 1\nsamplerate 8000\n");
  EXPECT_EQ(s.pttPort, 3);
  EXPECT_EQ(s.ptt, PttKind::kDtr);
  EXPECT_EQ(s.rxFile, "a b.wav");
  EXPECT_EQ(s.stopBits, 1);
  EXPECT_EQ(s.sampleRate, 8000);
  EXPECT_EQ(Read("rxfile\n", s).rxFile, "");  // a key alone empties a name
}

TEST(EngineSettings, AMarkThatDoesNotFitWithTheShiftGoesBackToTheDefault) {
  EXPECT_EQ(Read("mark 3000\nshift 850\n").mark, 2125);  // space at 3850 Hz would not fit
  const EngineSettings low = Read("mark 150\nshift 1000\nreverse 1\nbaud 150\n");
  EXPECT_EQ(low.mark, 2125);
  EXPECT_EQ(low.shift, 1000);
  EXPECT_EQ(low.baud, 150);
  EXPECT_TRUE(CheckModemSettings(ModemSettingsOf(low, 8000)).empty());
  EXPECT_EQ(Read("mark 2975\nshift 850\nreverse 1\n").mark, 2975);
}

}  // namespace
}  // namespace zk
