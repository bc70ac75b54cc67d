// The radio device link under Wine, with the driver at the far end of a serial pair:
// Zktty is on COM5, the driver on COM6.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "testbed/win32/zk_app.h"

namespace {

using namespace testbed;

// 300 baud keeps the tests quick; 5 data bits and 1.5 stop bits as on the air.
const std::string kTerminalUnit =
    "devtype 1\nttyport 5\nbaudot 1\nttybytesize 5\nttybaud 300\nttystop 1\nttyparity 0\n"
    "ltrsonspace 1\ndiddle 1\npttcontrol 1\nwindowloc 0 0 800 520\nmycall W1AW\n";

const std::string kTnc =
    "devtype 2\nttyport 5\nttybaud 9600\nttybytesize 8\nttystop 0\nttyparity 0\n"
    "tncinit INIT\\r\ntnctx TX\\r[OK]\ntncrx RX\\r\ncommand cmd:\nrxmodechar 4\n"
    "windowloc 0 0 800 520\nmsg2 <F3  Bye> \\tBYE\\s\n";

std::string Codes(std::initializer_list<int> codes) {
  std::string s;
  for (int c : codes) s.push_back(static_cast<char>(c));
  return s;
}

// Zktty started with a device on COM5, the driver at the far end.
class SerialDevice : public ::testing::Test {
 protected:
  void Start(const std::string& name, const std::string& ini, bool drain = true) {
    ASSERT_TRUE(peer.Open("COM6"));
    ASSERT_TRUE(zk.Start(name, ini));
    if (drain) peer.Drain();
  }
  bool WaitForRxTx(const std::string& expected) {
    return WaitFor([&] { return zk.RxTxText() == expected; });
  }
  void TearDown() override { EXPECT_TRUE(zk.Exit()); }

  SerialEnd peer;
  ZkApp zk;
};

TEST_F(SerialDevice, TerminalUnitShowsReceivedCodesWithShiftsAndLineEnds) {
  Start("tu_receive", kTerminalUnit);
  // W1AW needs a figures shift and back; after "599" the space returns to letters, so the
  // code that is "1" in figures prints Q. A doubled CR shows once; code 0 shows nothing.
  peer.Write(Codes({31}) + LettersCodes("CQ DE W") + Codes({27, 23, 31}) + LettersCodes("AW\r\n") +
             Codes({27, 16, 24, 24, 4, 23, 8, 8, 2, 0}));
  EXPECT_TRUE(WaitForRxTx("CQ DE W1AW\r\n599 Q\r\n")) << zk.RxTxText();
  zk.Screenshot("main-received");
}

TEST_F(SerialDevice, TerminalUnitSendsTypedTextFirstThenDiddlesAtTheLineRate) {
  Start("tu_transmit", kTerminalUnit);
  zk.Type("RYRY");
  EXPECT_EQ(peer.ReadFor(300), "") << "typed text waits while receiving";
  zk.SysKey(VK_F10);
  ASSERT_TRUE(zk.WaitForTxCaption("F10  &RX"));
  const std::string line = peer.ReadFor(1000);
  ASSERT_GE(line.size(), 6u);
  EXPECT_EQ(line.substr(0, 6), Codes({31, 31, 10, 21, 10, 21}));
  EXPECT_EQ(line.find_first_not_of('\x1f', 6), std::string::npos) << "only LTRS while idle";
  // 300 baud at 7.5 bits a character is 40 characters a second: the writer keeps pace
  // with the line and does not flood the driver.
  EXPECT_GE(line.size(), 25u);
  EXPECT_LE(line.size(), 50u);
  zk.Type("K");
  EXPECT_NE(peer.ReadUntil(Codes({15}), 300).find(Codes({15})), std::string::npos)
      << "typed while transmitting goes out at once";
  zk.SysKey(VK_F10);
  ASSERT_TRUE(zk.WaitForTxCaption("F10  &TX"));
  peer.ReadFor(200);  // the tail still on the line
  EXPECT_EQ(peer.ReadFor(300), "") << "no idle characters after the return to receive";
  EXPECT_TRUE(WaitForRxTx("RYRYK\r\n")) << zk.RxTxText();
  zk.Type("TEXT");
  zk.Screenshot("main-both-panes");
}

TEST_F(SerialDevice, TerminalUnitEndMarkReturnsToReceiveAndDropsTheRest) {
  Start("tu_end_mark", kTerminalUnit + "msg2 <F3  Test> \\tABC\\sDEF\n");
  zk.Key(VK_F3);
  EXPECT_TRUE(zk.WaitForTxCaption("F10  &RX"));
  EXPECT_TRUE(zk.WaitForTxCaption("F10  &TX", 3000)) << "the mark ends the transmission";
  EXPECT_EQ(peer.ReadFor(500), Codes({31, 31, 3, 25, 14}));
  EXPECT_TRUE(WaitForRxTx("ABC\r\n")) << zk.RxTxText();
}

TEST_F(SerialDevice, TerminalUnitBytesReceivedWhileTransmittingAreNotShown) {
  Start("tu_rx_while_tx", kTerminalUnit + "diddle 0\n");
  zk.SysKey(VK_F10);
  ASSERT_TRUE(zk.WaitForTxCaption("F10  &RX"));
  peer.Write(LettersCodes("HEARD"));
  Sleep(300);
  zk.SysKey(VK_F10);
  ASSERT_TRUE(zk.WaitForTxCaption("F10  &TX"));
  peer.Write(LettersCodes("OK"));
  EXPECT_TRUE(WaitForRxTx("OK\r\n")) << zk.RxTxText();
}

TEST_F(SerialDevice, DirectModeSendsKeysStraightToTheLine) {
  Start("tu_direct", kTerminalUnit);
  zk.Type("\x19");  // Ctrl+Y
  EXPECT_EQ(zk.Text(zk.main()), "Zktty - Direct");
  zk.Type("AB\x03");
  EXPECT_EQ(peer.ReadCount(5, 1000), Codes({3, 25, 27, 27, 28})) << "Ctrl+C goes out unseen";
  EXPECT_EQ(zk.ControlText(IDC_TXRX), "F10  &TX") << "direct typing does not key the transmitter";
  zk.SysKey(VK_F10);
  EXPECT_EQ(peer.ReadFor(300).find_first_not_of('\x1f'), std::string::npos) << "direct typing went out once";
  zk.SysKey(VK_F10);
  ASSERT_TRUE(zk.WaitForTxCaption("F10  &TX"));
  peer.ReadFor(200);  // the tail still on the line
  zk.Type("\x19");
  EXPECT_EQ(zk.Text(zk.main()), "Zktty");
  zk.Type("X");
  EXPECT_EQ(peer.ReadFor(300), "") << "out of direct mode, typing waits again";
}

TEST(Device, APortThatCannotBeOpenedIsReported) {
  ZkApp zk;
  // COM7 has no device behind it in the test prefix.
  ASSERT_TRUE(zk.Launch("port_missing", "devtype 1\nttyport 7\n"));
  HWND box = WaitForMessageBox("Could not activate COM7");
  ASSERT_TRUE(box);
  EXPECT_TRUE(HasChildText(box, "Another program may be using the port?"));
  zk.Screenshot("port-missing", box);
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(zk.WaitForMainWindow());
  zk.SysKey(VK_F10);  // the program runs on without a link
  EXPECT_TRUE(zk.WaitForTxCaption("F10  &RX"));
  ASSERT_TRUE(zk.Exit());
}

TEST_F(SerialDevice, TncCommandStringsResponsePromptAndEcho) {
  Start("tnc", kTnc, false);
  EXPECT_EQ(peer.ReadUntil("INIT\r", 3000), "INIT\r");
  zk.SysKey(VK_F10);
  ASSERT_TRUE(zk.WaitForTxCaption("F10  &RX"));
  EXPECT_EQ(peer.ReadUntil("TX\r", 2000), "TX\r") << "the bracketed part is awaited, never sent";
  zk.Type("HELLO");
  EXPECT_EQ(peer.ReadUntil("HELLO", 2000), "HELLO");
  peer.Write("HELLO");  // the TNC's own echo, shown in the transmit colour
  zk.Key(VK_F3);
  EXPECT_NE(peer.ReadUntil("BYE\x04", 2000).find("BYE\x04"), std::string::npos)
      << "the receive-mode character replaces the end mark and arms the prompt watch";
  peer.Write("cmd:");
  EXPECT_FALSE(zk.WaitForTxCaption("F10  &TX", 500)) << "while OK is awaited the prompt is not watched for";
  peer.Write("ok\r\nBYE\r\nCMD:");
  EXPECT_TRUE(zk.WaitForTxCaption("F10  &TX")) << "the prompt, in any case, ends the transmission";
  EXPECT_NE(peer.ReadUntil("RX\r", 2000).find("RX\r"), std::string::npos);
  const std::string shown = zk.RxTxText();
  EXPECT_NE(shown.find("HELLO"), std::string::npos) << shown;
  EXPECT_NE(shown.find("CMD:"), std::string::npos) << shown;
  zk.Type("\b\bK TEST");  // back into sent text: what is typed after it goes out whole
  zk.SysKey(VK_F10);
  EXPECT_EQ(peer.ReadUntil("TEST", 2000), "TX\rK TEST");
  ASSERT_TRUE(zk.Exit());
  EXPECT_EQ(peer.ReadUntil("RX\r", 2000), "RX\r") << "the receive string again at exit";
}

TEST_F(SerialDevice, TncOnAPortAboveNine) {
  Start("tnc_com12", "devtype 2\nttyport 12\nttybaud 9600\ntncinit HELLO\\r\n", false);
  EXPECT_EQ(peer.ReadUntil("HELLO\r", 3000), "HELLO\r");
}

}  // namespace
