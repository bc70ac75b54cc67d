// The main window, its panes and commands, driven from outside under Wine.
#include <gtest/gtest.h>

#include <cstdio>

#include "resources/resource.h"
#include "testbed/win32/zk_app.h"

namespace {

using namespace testbed;

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

TEST(MainWindow, StoredPlaceRatioFontsAndColoursAreAppliedAndClosingWritesThem) {
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
  EXPECT_EQ(window.bottom, 520);
  const RECT rx = zk.ClientRectIn(zk.rxTxPane()), ty = zk.ClientRectIn(zk.typingPane());
  const double rxHeight = rx.bottom - rx.top, tyHeight = ty.bottom - ty.top;
  EXPECT_NEAR(rxHeight / (rxHeight + tyHeight), 0.3, 0.02);

  // Colours: the empty pane, the border, and typed text in a big bold font.
  RECT client, rxClient;
  GetClientRect(zk.main(), &client);
  GetClientRect(zk.rxTxPane(), &rxClient);
  EXPECT_EQ(zk.PixelAt(zk.rxTxPane(), rxClient.right / 2, rxClient.bottom / 2), background);
  EXPECT_EQ(zk.PixelAt(zk.main(), 2, client.bottom - 2), border);
  zk.Type("WWW");
  const RECT topBand{0, 0, 200, 20}, lowerBand{0, 20, 200, 40};
  EXPECT_TRUE(WaitFor([&] { return zk.CountPixels(zk.typingPane(), topBand, typed) > 20; }, 2000));
  EXPECT_GT(zk.CountPixels(zk.typingPane(), lowerBand, typed), 20) << "a 24-point font reaches below 20 pixels";
  zk.Screenshot("main-stored-look");
  ASSERT_TRUE(zk.CloseBySystemMenu());  // shuts down as File/Exit does
  const std::pair<const char*, const char*> written[] = {
      {"windowloc", "100 50 700 520"}, {"winratio", "0.300000"}, {"prepfontpoints", "240"}, {"mycall", "W1AW"}};
  for (const auto& [key, value] : written) EXPECT_EQ(zk.Setting(key), value) << key;
}

TEST(MainWindow, TypingWordSelectionClearingPasteTransmitKeysAndTheSplitterSavedAsTheRatio) {
  ZkApp zk;
  ASSERT_TRUE(zk.Start("typing", "windowloc 0 0 640 480\n"));
  zk.Type("CQ TEST DE W1AWX\b\t\x1b");  // tab and Escape are not text
  // A click copies the word and the byte after it; after the last word that is the end.
  EXPECT_EQ(WordsOnRow(zk, zk.typingPane(), 0), (std::vector<std::string>{"CQ ", "TEST ", "DE ", "W1AW"}));
  zk.Click(zk.typingPane(), 40, 8);
  zk.Screenshot("main-selection");
  zk.Command(IDM_CLEAR_RXTX);  // leaves the typing pane alone
  EXPECT_EQ(Joined(WordsOnRow(zk, zk.typingPane(), 0)), "CQ TEST DE W1AW");
  zk.Command(IDM_CLEAR_TYPING);
  zk.Type("RST ");
  SetClipboardText("599 NY");
  zk.Command(IDM_PASTE);
  EmptyTheClipboard();
  zk.Command(IDM_PASTE);  // an empty clipboard pastes nothing
  EXPECT_EQ(Joined(WordsOnRow(zk, zk.typingPane(), 0)), "RST 599 NY");
  // Copying an empty receive/transmit pane leaves the clipboard alone.
  SetClipboardText("unchanged");
  zk.Command(IDM_COPY);
  EXPECT_EQ(ClipboardText(), "unchanged");

  zk.Key(VK_ESCAPE);  // while receiving only cancels auto-repeat
  EXPECT_FALSE(zk.WaitForTxCaption("F10  &RX", 500));
  zk.SysKey(VK_F10);
  EXPECT_TRUE(zk.WaitForTxCaption("F10  &RX"));
  zk.Key(VK_ESCAPE);
  EXPECT_TRUE(zk.WaitForTxCaption("F10  &TX"));
  zk.AltKey('T');
  EXPECT_TRUE(zk.WaitForTxCaption("F10  &RX"));
  zk.AltKey('T');  // already transmitting: nothing
  EXPECT_FALSE(zk.WaitForTxCaption("F10  &TX", 500));
  zk.AltKey('R');
  EXPECT_TRUE(zk.WaitForTxCaption("F10  &TX"));
  // Alt+U logs the contact and Alt+N starts a new one: either empties the Call box.
  for (const char letter : {'U', 'N'}) {
    SendMessageA(zk.Control(IDC_CALLBOX), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("W1AW"));
    zk.AltKey(letter);
    EXPECT_TRUE(WaitFor([&] { return zk.ControlText(IDC_CALLBOX).empty(); }, 2000)) << letter;
  }
  SendMessageA(zk.Control(IDC_TXRX), BM_CLICK, 0, 0);
  EXPECT_TRUE(zk.WaitForTxCaption("F10  &RX"));
  RECT rx = zk.ClientRectIn(zk.rxTxPane());
  const int available = zk.ClientRectIn(zk.typingPane()).bottom - rx.top - 4;
  zk.DragSplitter(rx.bottom + 2, rx.top + available / 3);
  rx = zk.ClientRectIn(zk.rxTxPane());
  const RECT ty = zk.ClientRectIn(zk.typingPane());
  const double a = rx.bottom - rx.top, b = ty.bottom - ty.top;
  EXPECT_NEAR(a / (a + b), 1.0 / 3, 0.03);
  char expected[32];
  std::snprintf(expected, sizeof expected, "%.6f", a / (a + b));
  ASSERT_TRUE(zk.Exit());
  EXPECT_EQ(zk.Setting("winratio"), expected);
}

TEST(MainWindow, FunctionKeysFillTheTypingPaneAndTheRepeatKeySendsAgainUntilAKeyCancels) {
  ZkApp zk;
  const std::string folder = MakeFolder("fkeys");
  WriteFile(folder + "\\exchange.rty", "UR 599\nNAME BOB\n");
  ASSERT_TRUE(zk.Start("fkeys",
                       "mycall W1AW\nwindowloc 0 0 800 480\nrepeatfkey 1\nrepeatsec 2\n"
                       "msg5 <F6  File> -@exchange.rty\nmsg6 <F7  None> @missing.rty\n"));
  EXPECT_EQ(zk.ControlText(IDC_F6), "F6  File");
  SendMessageA(zk.Control(IDC_F2), BM_CLICK, 0, 0);
  EXPECT_EQ(Joined(WordsOnRow(zk, zk.typingPane(), 0)), "W1AW ");
  zk.Command(IDM_CLEAR_TYPING);
  zk.Key(VK_F7);  // a missing message file adds nothing at all
  zk.Key(VK_F6);
  EXPECT_EQ(Joined(WordsOnRow(zk, zk.typingPane(), 0)), "UR 599\r");
  EXPECT_EQ(Joined(WordsOnRow(zk, zk.typingPane(), 1)), "NAME BOB\r");
  EXPECT_EQ(zk.ControlText(IDC_TXRX), "F10  &TX");

  // A click in the typing pane cancels the repeat too, so the panes are read at the end.
  zk.Command(IDM_CLEAR_TYPING);
  zk.Key(VK_F1);
  ASSERT_TRUE(zk.WaitForTxCaption("F10  &RX"));
  zk.SysKey(VK_F10);  // back to receive by hand: the pause starts, the repeat stays armed
  ASSERT_TRUE(zk.WaitForTxCaption("F10  &TX"));
  const DWORD back = GetTickCount();
  ASSERT_TRUE(zk.WaitForTxCaption("F10  &RX", 6000)) << "the repeat never came";
  const DWORD waited = GetTickCount() - back;
  EXPECT_GE(waited, 1500u) << "sent on the third tick after the return, not at once";
  EXPECT_LE(waited, 4500u);
  zk.SysKey(VK_F10);
  ASSERT_TRUE(zk.WaitForTxCaption("F10  &TX"));
  zk.Key(VK_HOME);  // any other key cancels
  EXPECT_FALSE(zk.WaitForTxCaption("F10  &RX", 4500));
  EXPECT_EQ(Joined(WordsOnRow(zk, zk.typingPane(), 0)), "cq cq cq de W1AW W1AW W1AW k\r")
      << "the CQ ends in its carriage return, with no blank after the message";
  // The end-of-transmission character stays in the pane, and the second CQ follows it.
  const auto second = WordsOnRow(zk, zk.typingPane(), 1);
  ASSERT_FALSE(second.empty());
  EXPECT_EQ(second[0],
            "\x1A"
            "cq ");
  ASSERT_TRUE(zk.Exit());
}

}  // namespace
