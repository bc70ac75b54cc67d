// Contest overs through the operator's path: zkmodem plays a recording of callers (each on
// its own frequency, straight from the start element, with noise between them) from a
// file into Zktty's receive pane. The pane must hold every call and nothing else: exactly
// what the native zkrtty prints from the same file, since both run the same receiver. The
// recording is made by the native overs benchmark.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "testbed/win32/zk_app.h"

namespace {

using namespace testbed;

// Without line ends: the overs have none, and the pane's copy breaks its lines where it wraps them.
std::string Unwrapped(std::string text) {
  text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }), text.end());
  return text;
}

TEST(Overs, ZkmodemShowsEachCallerInZkttysPaneAndNothingBetween) {
  const std::string folder = MakeFolder("overs"), unix = UnixWork() + "/overs/", native = Env("ZK_SIM_DIR") + "/";
  // Eight callers at -4 dB in 3 kHz, offsets within 50 Hz, 2 to 4 s of noise between them.
  ASSERT_EQ(RunUnix(native + "overs_bench --wav " + unix + "overs.wav --snr -4 --overs 8 --lead none --rate 11025 && " +
                    native + "zkrtty rx " + unix + "overs.wav >" + unix + "zkrtty.txt"),
            0);
  const std::string zkrtty = Unwrapped(ReadFile(folder + "\\zkrtty.txt"));
  std::string sent;
  for (const std::string& over : ReadLines(folder + "\\overs.txt")) sent += over;
  ASSERT_FALSE(sent.empty());

  CopyFileA(ZkApp::PeerPath("zkmodem").c_str(), (folder + "\\zkmodem.exe").c_str(), FALSE);
  WriteFile(folder + "\\zkmodem.ini", "rxfile " + folder + "\\overs.wav\nwindowloc 0 530 760 1010\n");
  ZkApp zk;
  zk.RunCopy({{folder + "\\zkmodem.exe", "zkmodem.exe"}, {folder + "\\zkmodem.ini", "zkmodem.ini"}});
  ASSERT_TRUE(zk.Start("overs_zktty", "devtype 3\nwindowloc 0 0 800 520\n"));
  std::string pane;
  WaitFor(
      [&] {
        Sleep(500);
        pane = Unwrapped(zk.RxTxText());
        return pane.size() >= zkrtty.size();
      },
      150000);
  zk.Screenshot("overs-in-the-pane");
  EXPECT_EQ(pane, zkrtty);
  EXPECT_EQ(pane, sent) << "the callers as sent, every first character, nothing between them";
  ASSERT_TRUE(zk.Exit());
}

}  // namespace
