// The main window, its panes and commands, driven from outside under Wine.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "zk_app.h"

namespace e2e {
namespace {

const char* const kKeyOrder[] = {
    "mycall", "baudot", "ltrsonspace", "diddle", "pttcontrol", "devtype", "pttms", "ttyport",
    "ttybytesize", "ttyportnumber", "ttybaud", "ttystop", "ttyparity", "ttyflow", "ttyxon",
    "ttytncecho", "ttytncnewline", "winratio", "windowloc", "tncinit", "tncrx", "tnctx", "command",
    "rxmodechar", "bgcolour", "bordercolour", "fgaprep", "fgarx", "fgatx", "prepfontface",
    "prepfontpoints", "prepfontweight", "prepfonitalic", "rxtxfontface", "rxtxfontpoints",
    "rxtxfontweight", "rxtxfonitalic", "ignore", "repeatfkey", "repeatsec", "hisrstformat",
    "exchangeformat", "msg0", "msg1", "msg2", "msg3", "msg4", "msg5", "msg6", "msg7", "msg8"};

std::string Key(const std::string& line) { return line.substr(0, line.find(' ')); }

std::string ValueOf(const std::vector<std::string>& lines, const std::string& key) {
  for (const std::string& line : lines)
    if (Key(line) == key) return line.size() > key.size() ? line.substr(key.size() + 1) : "";
  return "<missing>";
}

// The words of one row of a pane as a click on each shows them: clicking across the
// row, a new word starts wherever the highlight the click draws starts somewhere new.
std::vector<std::string> WordsOnRow(ZkApp& zk, HWND pane, int row, int lineHeight = 16) {
  std::vector<std::string> words;
  RECT client;
  GetClientRect(pane, &client);
  const int y = row * lineHeight + lineHeight / 2;
  int lastLeft = -1;
  for (int x = 1; x < client.right; x += 2) {
    EmptyTheClipboard();
    zk.Click(pane, x, y);
    std::string word = ClipboardText();
    if (word.empty()) continue;
    const int left = zk.HighlightLeft(pane, y);
    if (left != lastLeft) words.push_back(word);
    lastLeft = left;
  }
  return words;
}

std::string Joined(const std::vector<std::string>& words) {
  std::string all;
  for (const std::string& w : words) all += w;
  return all;
}

TEST(MainWindow, FirstStartShowsTheWindowAndWritesDefaultSettings) {
  ZkApp zk;
  ASSERT_TRUE(zk.Start("first_start"));
  EXPECT_TRUE(IsWindowVisible(zk.main()));
  EXPECT_EQ(zk.Text(zk.main()), "Zktty");
  EXPECT_EQ(zk.ControlText(1002), "F10  &TX");
  EXPECT_EQ(zk.ControlText(1003), "&Update");
  EXPECT_EQ(zk.ControlText(1019), "&New");
  EXPECT_EQ(zk.ControlText(1020), "");
  EXPECT_EQ(zk.ControlText(1005), "F1  CQ");
  EXPECT_EQ(zk.ControlText(1010), "F2  My call");
  EXPECT_EQ(zk.ControlText(1011), "F3");
  EXPECT_EQ(zk.ControlText(1012), "F4  TU");
  EXPECT_EQ(zk.ControlText(1013), "F5  Exchange");
  EXPECT_EQ(zk.ControlText(1018), "F9");
  char className[32];
  GetClassNameA(zk.typingPane(), className, sizeof className);
  EXPECT_STREQ(className, "QelTextWin");
  zk.Screenshot("main-empty");
  ASSERT_TRUE(zk.Exit());

  const auto lines = ReadLines(zk.IniPath());
  ASSERT_EQ(lines.size(), 51u);
  for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(Key(lines[i]), kKeyOrder[i]) << "line " << i;
  EXPECT_EQ(ValueOf(lines, "ttyport"), "-1");
  EXPECT_EQ(ValueOf(lines, "ttyportnumber"), "-1");
  EXPECT_EQ(ValueOf(lines, "ttybaud"), "9600");
  EXPECT_EQ(ValueOf(lines, "ttyflow"), "2");
  EXPECT_EQ(ValueOf(lines, "diddle"), "1");
  EXPECT_EQ(ValueOf(lines, "winratio"), "0.500000");
  EXPECT_EQ(ValueOf(lines, "fgaprep"), "16711680");
  EXPECT_EQ(ValueOf(lines, "fgarx"), "38400");
  EXPECT_EQ(ValueOf(lines, "fgatx"), "255");
  EXPECT_EQ(ValueOf(lines, "prepfontface"), "Arial");
  EXPECT_EQ(ValueOf(lines, "rxtxfontpoints"), "100");
  EXPECT_EQ(ValueOf(lines, "msg1"), "<F2  My call> (mycall)");
  EXPECT_EQ(ValueOf(lines, "msg2"), "");
  EXPECT_EQ(lines[0], "mycall ");  // an empty text is its key and one blank
}

TEST(MainWindow, StoredPlaceRatioFontsAndColoursAreApplied) {
  const COLORREF background = RGB(255, 250, 205), border = RGB(40, 60, 90), typed = RGB(200, 0, 120);
  char ini[1024];
  std::snprintf(ini, sizeof ini,
                "windowloc 100 50 700 520\nwinratio 0.300000\nbgcolour %lu\nbordercolour %lu\n"
                "fgaprep %lu\nprepfontpoints 240\nprepfontweight 700\nmycall W1AW\n",
                background, border, typed);
  ZkApp zk;
  ASSERT_TRUE(zk.Start("stored_look", ini));
  RECT window;
  GetWindowRect(zk.main(), &window);
  EXPECT_EQ(window.left, 100);
  EXPECT_EQ(window.top, 50);
  EXPECT_EQ(window.right, 700);
  EXPECT_EQ(window.bottom, 520);

  // The panes share the height under the buttons in the stored ratio.
  RECT client, f3;
  GetClientRect(zk.main(), &client);
  f3 = zk.ClientRectIn(zk.Control(1011));
  const RECT rx = zk.ClientRectIn(zk.rxTxPane()), ty = zk.ClientRectIn(zk.typingPane());
  const int available = client.bottom - f3.bottom - 16;
  EXPECT_EQ(rx.top, f3.bottom + 7);
  EXPECT_EQ(rx.bottom - rx.top, static_cast<int>(available * 0.3));
  EXPECT_EQ(ty.top, rx.bottom + 4);
  EXPECT_EQ(ty.bottom, client.bottom - 5);
  EXPECT_EQ(rx.left, 5);
  EXPECT_EQ(rx.right, client.right - 5);

  // Colours: the empty pane, the border, and typed text in a big bold font.
  RECT rxClient;
  GetClientRect(zk.rxTxPane(), &rxClient);
  EXPECT_EQ(zk.PixelAt(zk.rxTxPane(), rxClient.right / 2, rxClient.bottom / 2), background);
  EXPECT_EQ(zk.PixelAt(zk.main(), 2, client.bottom - 2), border);
  zk.Type("WWW");
  zk.Sync();
  RECT topBand{0, 0, 200, 20}, lowerBand{0, 20, 200, 40};
  EXPECT_GT(zk.CountPixels(zk.typingPane(), topBand, typed), 20);
  EXPECT_GT(zk.CountPixels(zk.typingPane(), lowerBand, typed), 20) << "a 24-point font reaches below 20 pixels";
  zk.Screenshot("main-stored-look");
  ASSERT_TRUE(zk.Exit());
  const auto lines = ReadLines(zk.IniPath());
  EXPECT_EQ(ValueOf(lines, "windowloc"), "100 50 700 520");
  EXPECT_EQ(ValueOf(lines, "winratio"), "0.300000");
  EXPECT_EQ(ValueOf(lines, "prepfontpoints"), "240");
  EXPECT_EQ(ValueOf(lines, "mycall"), "W1AW");
}

TEST(MainWindow, TypingBackspaceAndClearing) {
  ZkApp zk;
  ASSERT_TRUE(zk.Start("typing", "windowloc 0 0 640 480\n"));
  zk.Type("CQ TEST DE W1AWX");
  zk.Type("\b");
  EXPECT_EQ(Joined(WordsOnRow(zk, zk.typingPane(), 0)), "CQ TEST DE W1AW");
  // Tab and Escape are not text.
  zk.Type("\t\x1b");
  EXPECT_EQ(Joined(WordsOnRow(zk, zk.typingPane(), 0)), "CQ TEST DE W1AW");
  zk.Command(32778);  // Clear-Typing
  EXPECT_TRUE(WordsOnRow(zk, zk.typingPane(), 0).empty());
  zk.Type("AGAIN");
  EXPECT_EQ(Joined(WordsOnRow(zk, zk.typingPane(), 0)), "AGAIN");
  zk.Command(32777);  // Clear-RxTx leaves the typing pane alone
  EXPECT_EQ(Joined(WordsOnRow(zk, zk.typingPane(), 0)), "AGAIN");
  ASSERT_TRUE(zk.Exit());
}

TEST(MainWindow, WordSelectionCopiesTheWordAndTheByteAfterIt) {
  ZkApp zk;
  ASSERT_TRUE(zk.Start("selection", "windowloc 0 0 640 480\n"));
  zk.Type("CQ TEST DE W1AW");
  const auto words = WordsOnRow(zk, zk.typingPane(), 0);
  ASSERT_EQ(words.size(), 4u);
  EXPECT_EQ(words[0], "CQ ");
  EXPECT_EQ(words[1], "TEST ");
  EXPECT_EQ(words[2], "DE ");
  EXPECT_EQ(words[3], "W1AW") << "the byte after the last word is the end of the text";
  EmptyTheClipboard();
  zk.Click(zk.typingPane(), 40, 8);
  EXPECT_FALSE(ClipboardText().empty());
  zk.Screenshot("main-selection");
  ASSERT_TRUE(zk.Exit());
}

TEST(MainWindow, PasteAppendsTheClipboardToTheTypingPane) {
  ZkApp zk;
  ASSERT_TRUE(zk.Start("paste", "windowloc 0 0 640 480\n"));
  zk.Type("RST ");
  SetClipboardText("599 NY");
  zk.Command(32782);
  EXPECT_EQ(Joined(WordsOnRow(zk, zk.typingPane(), 0)), "RST 599 NY");
  EmptyTheClipboard();
  zk.Command(32782);  // an empty clipboard pastes nothing
  EXPECT_EQ(Joined(WordsOnRow(zk, zk.typingPane(), 0)), "RST 599 NY");
  // Copying an empty receive/transmit pane leaves the clipboard alone.
  SetClipboardText("unchanged");
  zk.Command(32781);
  EXPECT_EQ(ClipboardText(), "unchanged");
  ASSERT_TRUE(zk.Exit());
}

TEST(MainWindow, SplitterDragIsSavedAsTheRatio) {
  ZkApp zk;
  ASSERT_TRUE(zk.Start("splitter", "windowloc 0 0 640 480\n"));
  RECT rx = zk.ClientRectIn(zk.rxTxPane());
  const int barY = rx.bottom + 2;
  const int available = zk.ClientRectIn(zk.typingPane()).bottom - rx.top - 4;
  zk.DragSplitter(barY, rx.top + available / 3);
  rx = zk.ClientRectIn(zk.rxTxPane());
  const RECT ty = zk.ClientRectIn(zk.typingPane());
  const double rxHeight = rx.bottom - rx.top, tyHeight = ty.bottom - ty.top;
  EXPECT_NEAR(rxHeight / (rxHeight + tyHeight), 1.0 / 3, 0.03);
  // Dragging far down stops where the typing pane keeps a line and a bit.
  zk.DragSplitter(rx.bottom + 2, 470);
  const RECT tyMin = zk.ClientRectIn(zk.typingPane());
  EXPECT_GE(tyMin.bottom - tyMin.top, 10);
  zk.DragSplitter(zk.ClientRectIn(zk.rxTxPane()).bottom + 2, rx.bottom);
  const RECT rxAgain = zk.ClientRectIn(zk.rxTxPane()), tyAgain = zk.ClientRectIn(zk.typingPane());
  const double a = rxAgain.bottom - rxAgain.top, b = tyAgain.bottom - tyAgain.top;
  char expected[32];
  std::snprintf(expected, sizeof expected, "%.6f", a / (a + b));
  ASSERT_TRUE(zk.Exit());
  EXPECT_EQ(ValueOf(ReadLines(zk.IniPath()), "winratio"), expected);
}

TEST(MainWindow, EscapeF10AltTAndTheButtonSwitchTransmit) {
  ZkApp zk;
  ASSERT_TRUE(zk.Start("transmit_switch"));
  zk.Key(VK_ESCAPE);  // while receiving only cancels auto-repeat
  zk.Sync();
  EXPECT_EQ(zk.ControlText(1002), "F10  &TX");
  zk.SysKey(VK_F10);
  EXPECT_TRUE(zk.WaitForTxCaption("F10  &RX"));
  zk.Key(VK_ESCAPE);
  EXPECT_TRUE(zk.WaitForTxCaption("F10  &TX"));
  zk.AltKey('T');
  EXPECT_TRUE(zk.WaitForTxCaption("F10  &RX"));
  zk.AltKey('T');  // already transmitting: nothing
  zk.Sync();
  EXPECT_EQ(zk.ControlText(1002), "F10  &RX");
  zk.AltKey('R');
  EXPECT_TRUE(zk.WaitForTxCaption("F10  &TX"));
  SendMessageA(zk.Control(1002), BM_CLICK, 0, 0);
  EXPECT_TRUE(zk.WaitForTxCaption("F10  &RX"));
  zk.Command(1002);
  EXPECT_TRUE(zk.WaitForTxCaption("F10  &TX"));
  ASSERT_TRUE(zk.Exit());
}

TEST(MainWindow, FunctionKeysFillTheTypingPane) {
  ZkApp zk;
  ASSERT_TRUE(zk.Start("fkeys", "mycall W1AW\nwindowloc 0 0 800 480\n"));
  zk.Key(VK_F2);
  EXPECT_EQ(WordsOnRow(zk, zk.typingPane(), 0), (std::vector<std::string>{"W1AW "}));
  EXPECT_EQ(zk.ControlText(1002), "F10  &TX");
  zk.Command(32778);
  SendMessageA(zk.Control(1005), BM_CLICK, 0, 0);  // the F1 button
  EXPECT_TRUE(zk.WaitForTxCaption("F10  &RX"));
  EXPECT_EQ(Joined(WordsOnRow(zk, zk.typingPane(), 0)), "cq cq cq de W1AW W1AW W1AW k\r")
      << "the CQ ends in its carriage return, with no blank after the message";
  ASSERT_TRUE(zk.Exit());
}

TEST(MainWindow, AMessageFileInTheStartFolderIsTheMessageBody) {
  ZkApp zk;
  const std::string folder = MakeFolder("message_file");
  WriteFile(folder + "\\exchange.rty", "UR 599\nNAME BOB\n");
  ASSERT_TRUE(zk.Start("message_file", "msg5 <F6  File> -@exchange.rty\nmsg6 <F7  None> @missing.rty\n"
                                        "windowloc 0 0 800 480\n"));
  EXPECT_EQ(zk.ControlText(1015), "F6  File");
  zk.Key(VK_F7);  // a missing file adds nothing at all
  zk.Key(VK_F6);
  EXPECT_EQ(Joined(WordsOnRow(zk, zk.typingPane(), 0)), "UR 599\r");
  EXPECT_EQ(Joined(WordsOnRow(zk, zk.typingPane(), 1)), "NAME BOB\r");
  ASSERT_TRUE(zk.Exit());
}

TEST(MainWindow, AutoRepeatSendsAgainAfterThePauseUntilAKeyCancels) {
  ZkApp zk;
  ASSERT_TRUE(zk.Start("autorepeat", "mycall W1AW\nrepeatfkey 1\nrepeatsec 2\nwindowloc 0 0 800 480\n"));
  zk.Key(VK_F1);
  ASSERT_TRUE(zk.WaitForTxCaption("F10  &RX"));
  zk.SysKey(VK_F10);  // back to receive by hand: the pause starts, the repeat stays armed
  ASSERT_TRUE(zk.WaitForTxCaption("F10  &TX"));
  const DWORD back = GetTickCount();
  ASSERT_TRUE(zk.WaitForTxCaption("F10  &RX", 6000)) << "the repeat never came";
  const DWORD waited = GetTickCount() - back;
  EXPECT_GE(waited, 1500u) << "sent on the third tick after the return, not at once";
  EXPECT_LE(waited, 4500u);
  // The end-of-transmission character stays in the pane, and the second CQ follows it.
  EXPECT_EQ(WordsOnRow(zk, zk.typingPane(), 1).front(), "\x1A" "cq ");

  zk.SysKey(VK_F10);
  ASSERT_TRUE(zk.WaitForTxCaption("F10  &TX"));
  zk.Key(VK_HOME);  // any other key cancels
  Sleep(4500);
  EXPECT_EQ(zk.ControlText(1002), "F10  &TX");
  ASSERT_TRUE(zk.Exit());
}

TEST(MainWindow, AboutBoxShowsTheVersion) {
  ZkApp zk;
  ASSERT_TRUE(zk.Start("about"));
  PostMessageA(zk.main(), WM_COMMAND, 104, 0);
  HWND about = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    about = FindWindowA(nullptr, "About");
    return about && IsWindowVisible(about) && GetWindow(about, GW_OWNER) == zk.main();
  }));
  bool versionShown = false;
  for (HWND child = GetWindow(about, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (zk.Text(child) == "Zktty Version 1.3") versionShown = true;
  EXPECT_TRUE(versionShown);
  EXPECT_EQ(zk.Text(GetDlgItem(about, IDOK)), "OK");
  zk.Screenshot("about", about);
  SendMessageA(about, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(WaitFor([&] { return !IsWindow(about); }));
  ASSERT_TRUE(zk.Exit());
}

TEST(MainWindow, ClosingByTheSystemMenuWritesWhatExitWrites) {
  const std::string ini = "mycall DL1ABC\nwinratio 0.420000\nwindowloc 20 30 620 430\nbaudot 1\n";
  ZkApp viaExit, viaClose;
  ASSERT_TRUE(viaExit.Start("close_exit", ini));
  ASSERT_TRUE(viaExit.Exit());
  ASSERT_TRUE(viaClose.Start("close_sysmenu", ini));
  ASSERT_TRUE(viaClose.CloseBySystemMenu());
  const std::string a = ReadFile(viaExit.IniPath()), b = ReadFile(viaClose.IniPath());
  EXPECT_FALSE(a.empty());
  EXPECT_EQ(a, b);
  EXPECT_EQ(ValueOf(ReadLines(viaClose.IniPath()), "mycall"), "DL1ABC");
}

}  // namespace
}  // namespace e2e
