// The setup sheet and its four pages, driven from outside under Wine with the real
// common dialogs. The rules of filling and storing are proven in the core's unit tests;
// here each page is walked end to end.
#include <gtest/gtest.h>

#include <windows.h>
#include <colordlg.h>
#include <dlgs.h>
#include <prsht.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>

#include "resources/resource.h"
#include "testbed/win32/dialogs.h"
#include "testbed/win32/fake_peers.h"
#include "testbed/win32/zk_app.h"

namespace {

using namespace testbed;

enum Page { kSerialPage, kTncPage, kFKeysPage, kPreferencesPage };

// The run's prefix has COM5, COM6, COM8, COM9 and COM12, and COM10 as a link it does not declare.
const std::vector<std::string> kPorts{"COM1", "COM2", "COM3", "COM4",  "COM5", "COM6",
                                      "COM7", "COM8", "COM9", "COM10", "COM12"};

std::string TextOf(const ZkApp& zk, HWND dialog, int id) { return zk.Text(GetDlgItem(dialog, id)); }
void Click(HWND page, int id) { SendDlgItemMessageA(page, id, BM_CLICK, 0, 0); }

// Types a name into the file dialog and confirms it.
bool ChooseFileName(ZkApp& zk, const std::string& title, const char* name, const char* shot = nullptr) {
  HWND dialog = zk.WaitForDialog(title);
  if (!dialog) return false;
  if (shot) zk.Screenshot(shot, dialog, true);
  SetDlgItemTextA(dialog, cmb13, name);
  return ConfirmDialog(dialog);
}

bool ChooseColour(ZkApp& zk, COLORREF colour) {
  HWND dialog = zk.WaitForDialog("Color");
  if (!dialog) return false;
  const std::pair<int, BYTE> parts[] = {
      {COLOR_RED, GetRValue(colour)}, {COLOR_GREEN, GetGValue(colour)}, {COLOR_BLUE, GetBValue(colour)}};
  for (const auto& [id, value] : parts) SetDlgItemInt(dialog, id, value, FALSE);
  zk.Screenshot("dialog-colour", dialog, true);
  return ConfirmDialog(dialog);
}

// How many of the threads in `these` are not in `others`.
size_t Missing(const std::set<DWORD>& these, const std::set<DWORD>& others) {
  return static_cast<size_t>(std::count_if(these.begin(), these.end(), [&](DWORD id) { return !others.count(id); }));
}

// What a first start shows once the sheet is closed: the default keys, the About box and
// a window place on a screen that is gone moved back onto the work area, whole.
void ExpectTheMainWindowOfAFirstStart(ZkApp& zk) {
  const std::pair<int, const char*> captions[] = {
      {IDC_TXRX, "F10  &TX"},   {IDC_F1, "F1  CQ"}, {IDC_F2, "F2  My call"}, {IDC_F3, "F3"},   {IDC_F4, "F4  TU"},
      {IDC_F5, "F5  Exchange"}, {IDC_F9, "F9"},     {IDC_UPDATE, "&Update"}, {IDC_NEW, "&New"}};
  for (const auto& [id, caption] : captions) EXPECT_EQ(zk.ControlText(id), caption) << id;
  EXPECT_EQ(zk.Text(zk.main()), "Zktty");
  zk.Screenshot("main-empty");
  RECT work, window;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  GetWindowRect(zk.main(), &window);
  EXPECT_EQ(std::make_pair(window.right - window.left, window.bottom - window.top), std::make_pair(600L, 470L));
  EXPECT_TRUE(window.left >= work.left && window.top >= work.top && window.right <= work.right &&
              window.bottom <= work.bottom);
  PostMessageA(zk.main(), WM_COMMAND, IDM_ABOUT, 0);
  HWND about = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    about = FindWindowA(nullptr, "About");
    return about && IsWindowVisible(about) && GetWindow(about, GW_OWNER) == zk.main();
  }));
  EXPECT_TRUE(HasChildText(about, "Zktty Version 1.3"));
  zk.Screenshot("about", about);
  EXPECT_TRUE(ConfirmDialog(about));
}

TEST(SetupSheet, FirstStartOpensOnTheSerialPageWithCloseAndEveryPageHasHelp) {
  ZkApp zk;
  ASSERT_TRUE(zk.Start("setup_first", "windowloc 3000 2000 3600 2470\n", ZkApp::SetupAtStart::kKeep));
  HWND sheet = zk.SetupSheet();
  ASSERT_TRUE(sheet);
  HWND page = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
  EXPECT_TRUE(IsChecked(page, IDC_DEVICE_NONE)) << "opens on the serial port page";
  EXPECT_EQ(TextOf(zk, sheet, IDOK), "Close");
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(sheet, IDCANCEL)));
  for (HWND child = GetWindow(sheet, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    EXPECT_FALSE(IsWindowVisible(child) && zk.Text(child) == "&Apply") << "no Apply button";
  EXPECT_EQ(ListEntries(page, IDC_PORT_LIST), kPorts) << "COM1 to COM8, then the ports above 8 that exist";
  const char* shots[] = {"setup-serial", "setup-tnc", "setup-fkeys", "setup-preferences"};
  for (int i = kSerialPage; i <= kPreferencesPage; ++i) {
    zk.ShowPage(sheet, i);
    zk.Screenshot(shots[i], sheet, true);
    PostClick(sheet, IDHELP);
    const std::string context = "help\\context" + std::to_string(i + 2) + ".html";
    EXPECT_TRUE(WaitFor([&] { return ReadFile(WinWork() + "\\help-opened.txt").find(context) != std::string::npos; }))
        << context;
  }
  ASSERT_TRUE(zk.CloseSetup(sheet));
  EXPECT_EQ(ReadLines(zk.IniPath()).size(), 51u) << "the settings file is written as the sheet closes";
  EXPECT_EQ(zk.Setting("devtype") + "|" + zk.Setting("msg1"), "0|<F2  My call> (mycall)");
  ExpectTheMainWindowOfAFirstStart(zk);
  PostMessageA(zk.main(), WM_COMMAND, IDM_VOLUME, 0);
  HWND volume = zk.WaitForDialog("Volume");
  EXPECT_TRUE(volume) << "without a volume control the operator is told";
  if (volume) ConfirmDialog(volume);
  ASSERT_TRUE(zk.Exit());
}

TEST(SetupSheet, SerialAndTncPagesShowTheSettingsAndStoreThemOnClose) {
  ZkApp zk;
  ASSERT_TRUE(zk.Start("setup_serial",
                       "ttyport 15\nttybaud 100\nttybytesize 5\nttyparity 2\nttystop 1\nttyflow 5\nbaudot 1\n"
                       "ltrsonspace 0\ndiddle 0\npttcontrol 2\npttms 150\nttytncecho 1\ntncinit INIT\\r\n"
                       "tnctx TX\\r[OK]\ntncrx RX\\r\ncommand cmd:\nrxmodechar 200\nignore ~\n",
                       ZkApp::SetupAtStart::kKeep));
  HWND sheet = zk.SetupSheet();
  ASSERT_TRUE(sheet);
  HWND page = zk.ShowPage(sheet, kSerialPage);
  std::vector<std::string> ports = kPorts;
  ports.push_back("COM15");
  EXPECT_EQ(ListEntries(page, IDC_PORT_LIST), ports) << "a configured port that is missing stays";
  const std::pair<int, const char*> shown[] = {{IDC_PORT_LIST, "COM15"},   {IDC_BAUD_LIST, "75"},
                                               {IDC_DATABITS_LIST, "5"},   {IDC_PARITY_LIST, "Even"},
                                               {IDC_STOPBITS_LIST, "1.5"}, {IDC_PTT_DELAY, "150"}};
  for (const auto& [id, text] : shown) EXPECT_EQ(TextOf(zk, page, id), text) << id;
  const int checked[] = {IDC_DEVICE_NONE, IDC_FLOW_DTRDSR, IDC_FLOW_XONXOFF, IDC_USE_BAUDOT, IDC_PTT_DTR};
  const int unchecked[] = {IDC_DEVICE_TU, IDC_FLOW_RTSCTS, IDC_LTRS_ON_SPACE, IDC_USE_DIDDLE, IDC_PTT_RTS};
  for (int id : checked) EXPECT_TRUE(IsChecked(page, id)) << id;
  for (int id : unchecked) EXPECT_FALSE(IsChecked(page, id)) << id;
  const std::pair<int, const char*> chosen[] = {{IDC_PORT_LIST, "COM9"},
                                                {IDC_BAUD_LIST, "45"},
                                                {IDC_DATABITS_LIST, "8"},
                                                {IDC_PARITY_LIST, "Odd"},
                                                {IDC_STOPBITS_LIST, "2"}};
  for (const auto& [id, text] : chosen) ChooseEntry(page, id, text);
  for (int id : {IDC_FLOW_DTRDSR, IDC_FLOW_RTSCTS, IDC_FLOW_XONXOFF, IDC_USE_BAUDOT, IDC_LTRS_ON_SPACE, IDC_USE_DIDDLE,
                 IDC_PTT_RTS})
    Click(page, id);
  SetDlgItemTextA(page, IDC_PTT_DELAY, "-20");
  PostClick(sheet, IDOK);  // a delay outside its range is refused, and the range named
  HWND refusal = zk.WaitForDialog("Set serial port", 5000);
  ASSERT_TRUE(refusal);
  EXPECT_TRUE(HasChildText(refusal, "The PTT delay must be 0 to 2000 ms."));
  zk.Screenshot("setup-ptt-delay-refused", refusal, true);
  ConfirmDialog(refusal);
  SetDlgItemTextA(page, IDC_PTT_DELAY, "2000");

  page = zk.ShowPage(sheet, kTncPage);
  const std::pair<int, const char*> tnc[] = {{IDC_TNC_INIT, "INIT\\r"},     {IDC_TNC_TX, "TX\\r[OK]"},
                                             {IDC_TNC_RX, "RX\\r"},         {IDC_TNC_COMMAND, "cmd:"},
                                             {IDC_TNC_RXMODECHAR, "\\xc8"}, {IDC_TNC_IGNORE, "~"}};
  for (const auto& [id, text] : tnc) EXPECT_EQ(TextOf(zk, page, id), text) << id;
  SetDlgItemTextA(page, IDC_TNC_INIT, "ATZ\\r");
  SetDlgItemTextA(page, IDC_TNC_COMMAND, "a command string longer than its field");
  SetDlgItemTextA(page, IDC_TNC_RXMODECHAR, "\\c");
  ASSERT_TRUE(zk.CloseSetup(sheet));

  const std::pair<const char*, const char*> stored[] = {{"devtype", "0"},
                                                        {"ttyport", "9"},
                                                        {"ttyportnumber", "9"},
                                                        {"ttybaud", "45"},
                                                        {"ttybytesize", "8"},
                                                        {"ttyparity", "1"},
                                                        {"ttystop", "2"},
                                                        {"ttyflow", "2"},
                                                        {"baudot", "0"},
                                                        {"ltrsonspace", "1"},
                                                        {"diddle", "1"},
                                                        {"pttcontrol", "1"},
                                                        {"pttms", "2000"},
                                                        {"ttytncecho", "0"},
                                                        {"tncinit", "ATZ\\r"},
                                                        {"tnctx", "TX\\r[OK]"},
                                                        {"command", "a command string longer "},
                                                        {"rxmodechar", "3"},
                                                        {"ignore", "~"}};
  for (const auto& [key, value] : stored) EXPECT_EQ(zk.Setting(key), value) << key;
  ASSERT_TRUE(zk.Exit());
}

// Opens the sheet, makes `change` on the serial port page and closes the sheet.
bool ChangeOnSerialPage(ZkApp& zk, const std::function<void(HWND page)>& change) {
  HWND sheet = zk.OpenSetup();
  if (!sheet) return false;
  change(zk.ShowPage(sheet, kSerialPage));
  return zk.CloseSetup(sheet);
}

// How many of `records` after the first `from` end with `text`.
size_t CountFrom(const std::vector<std::string>& records, size_t from, const std::string& text) {
  size_t count = 0;
  for (size_t i = from; i < records.size(); ++i)
    count += records[i].size() >= text.size() && records[i].substr(records[i].size() - text.size()) == text;
  return count;
}

// A TNC on COM5 (far end COM6) moves to COM8 (far end COM9), then the engine takes its
// place and leaves it. The engine's own messages come with its link; here the link's
// side: what closes, what opens and what is saved.
TEST(SetupSheet, DeviceChangesKeepOrReopenTheLinkAndStartOrEndTheEngine) {
  SerialEnd com6, com9;
  ASSERT_TRUE(com6.Open("COM6"));
  ASSERT_TRUE(com9.Open("COM9"));
  FakeLogger log;
  ASSERT_TRUE(log.Start());
  ZkApp zk;
  zk.RunCopy({{ZkApp::PeerPath("fake_engine"), "mmtty.exe"}});
  ASSERT_TRUE(zk.Start("setup_device", "devtype 2\nttyport 5\nttybaud 9600\ntncinit INIT\\r\ntnctx TX\\r\n"));
  ASSERT_EQ(com6.ReadUntil("INIT\r", 3000), "INIT\r");
  const std::set<DWORD> opened = zk.Threads();
  ASSERT_TRUE(ChangeOnSerialPage(zk, [](HWND page) { ChooseEntry(page, IDC_BAUD_LIST, "4800"); }));
  EXPECT_EQ(com6.ReadUntil("INIT\r", 3000), "INIT\r") << "the running TNC is set up again";
  EXPECT_EQ(Missing(opened, zk.Threads()), 0u) << "a new baud rate does not reopen the link";
  EXPECT_EQ(zk.Setting("ttybaud"), "4800");
  ASSERT_TRUE(ChangeOnSerialPage(zk, [](HWND page) { ChooseEntry(page, IDC_PORT_LIST, "COM8"); }));
  EXPECT_EQ(com9.ReadUntil("INIT\r", 3000), "INIT\r") << "the new port is opened and sent the initialisation";
  EXPECT_GE(Missing(opened, zk.Threads()), 2u) << "the old reader and writer have ended";
  zk.SysKey(VK_F10);
  EXPECT_EQ(com9.ReadUntil("TX\r", 2000), "TX\r");
  EXPECT_EQ(com6.ReadFor(300), "") << "nothing more on the old port";

  ASSERT_TRUE(ChangeOnSerialPage(zk, [](HWND page) { Click(page, IDC_DEVICE_ENGINE); }));
  EXPECT_EQ(zk.Setting("devtype"), "3");
  ASSERT_TRUE(WaitFor([&] { return ReadFile(zk.folder() + "\\mmtty.exe.cmdline") == "mmtty -s"; }))
      << "the engine is started";
  FakeEngine engine(zk.main());
  ASSERT_TRUE(engine.Start());
  engine.Announce();
  const size_t linked = engine.Records(2).size();  // the reply and code 12
  const std::set<DWORD> withEngine = zk.Threads();
  size_t beforeClose = 0;
  ASSERT_TRUE(ChangeOnSerialPage(zk, [&](HWND page) {
    beforeClose = log.Records().size();  // the sheet released PTT as it opened
    Click(page, IDC_DEVICE_NONE);
  }));
  EXPECT_EQ(zk.Setting("devtype"), "0");
  EXPECT_EQ(CountFrom(engine.Records(linked + 1), linked, "2 0"), 1u) << "the engine is told to end";
  EXPECT_EQ(CountFrom(log.Records(beforeClose + 1), beforeClose, "<control:6>pttoff"), 1u);
  EXPECT_GE(Missing(withEngine, zk.Threads()), 1u) << "the link's writer has ended";
  ASSERT_TRUE(zk.Exit());
}

const COLORREF kTyped = RGB(200, 0, 120), kBackground = RGB(255, 250, 205);

// Typing colour, background and font, each seen at once; a new call sign for the close.
void ChangePreferences(ZkApp& zk, HWND sheet) {
  zk.Type("WWW");
  HWND page = zk.ShowPage(sheet, kPreferencesPage);
  EXPECT_EQ(TextOf(zk, page, IDC_MYCALL), "W1AW");
  PostClick(page, IDC_TYPING_COLOUR);
  EXPECT_TRUE(ChooseColour(zk, kTyped));
  PostClick(page, IDC_BACKGROUND_COLOUR);
  EXPECT_TRUE(ChooseColour(zk, kBackground));
  PostClick(page, IDC_TYPING_FONT);
  HWND font = zk.WaitForDialog("Font");
  EXPECT_TRUE(font);
  ChooseEntry(font, cmb1, "DejaVu Sans", true);
  ChooseEntry(font, cmb2, "Bold", true);
  ChooseEntry(font, cmb3, "24", true);
  zk.Screenshot("dialog-font", font, true);
  EXPECT_TRUE(ConfirmDialog(font));
  HWND swatch = GetDlgItem(page, IDC_TYPING_SWATCH);
  RECT area, rx;
  GetClientRect(swatch, &area);
  GetClientRect(zk.rxTxPane(), &rx);
  EXPECT_TRUE(WaitFor([&] { return zk.PixelAt(swatch, area.right / 2, area.bottom / 2) == kTyped; }, 2000));
  EXPECT_TRUE(WaitFor([&] { return zk.PixelAt(zk.rxTxPane(), rx.right / 2, rx.bottom / 2) == kBackground; }, 2000));
  const RECT lowerBand{0, 20, 200, 40};
  EXPECT_TRUE(WaitFor([&] { return zk.CountPixels(zk.typingPane(), lowerBand, kTyped) > 20; }, 2000))
      << "a 24-point font in the new colour";
  zk.Screenshot("setup-preferences-applied");
  SetDlgItemTextA(page, IDC_MYCALL, "K1ABC");
}

// Saves the keys, is refused a file over 1 MiB, loads another, edits a message file.
void ChangeFunctionKeys(ZkApp& zk, HWND sheet, const std::string& folder) {
  HWND page = zk.ShowPage(sheet, kFKeysPage);
  EXPECT_EQ(TextOf(zk, page, IDC_FKEY_MESSAGE1 + 2), "<F3  Old> x");
  EXPECT_EQ(TextOf(zk, page, IDC_REPEAT_KEY) + " " + TextOf(zk, page, IDC_REPEAT_SECONDS), "3 20");
  SetDlgItemTextA(page, IDC_FKEY_MESSAGE1 + 2, "<F3  New>\tthree  ");
  PostClick(page, IDC_SAVE_FKEYS);
  ASSERT_TRUE(ChooseFileName(zk, "Zktty Function key files", "saved"));
  EXPECT_TRUE(WaitFor([&] { return zk.ControlText(IDC_F3) == "F3  New"; })) << "the buttons follow a save at once";
  ASSERT_TRUE(WaitFor([&] { return FileExists(folder + "\\saved.txt"); })) << "\".txt\" is added to the name";
  const std::vector<std::string> saved = ReadLines(folder + "\\saved.txt");
  ASSERT_EQ(saved.size(), 12u);
  EXPECT_EQ(saved[2], "F3: <F3  New> three");
  EXPECT_EQ(saved[9] + "|" + saved[11], "repeat 3 20|exchange #(HISCALL)");

  PostClick(page, IDC_LOAD_FKEYS);  // over 1 MiB: refused, naming the file, and the set kept
  ASSERT_TRUE(ChooseFileName(zk, "Zktty Function key files", "huge.rtm"));
  HWND refusal = zk.WaitForDialog("File too large", 5000);
  ASSERT_TRUE(refusal);
  EXPECT_TRUE(HasChildText(refusal, folder + "\\huge.rtm is larger than 1 MiB and was not read."));
  ConfirmDialog(refusal);
  EXPECT_EQ(TextOf(zk, page, IDC_REPEAT_KEY), "3");
  PostClick(page, IDC_LOAD_FKEYS);
  ASSERT_TRUE(ChooseFileName(zk, "Zktty Function key files", "part.rtm", "dialog-file"));
  const std::pair<int, const char*> loaded[] = {{IDC_FKEY_MESSAGE1, "<F1  Loaded> hello"},
                                                {IDC_FKEY_MESSAGE1 + 2, "<F3  New> three"},
                                                {IDC_HISRST_FORMAT, "5NN"},
                                                {IDC_EXCHANGE_FORMAT, ""},
                                                {IDC_REPEAT_KEY, "0"},
                                                {IDC_REPEAT_SECONDS, "0"}};
  for (const auto& [id, text] : loaded) EXPECT_EQ(TextOf(zk, page, id), text) << id;

  PostClick(page, IDC_EDIT_MESSAGE_FILE);
  ASSERT_TRUE(ChooseFileName(zk, "Zktty message files", "note.rty"));
  HWND editor = nullptr;
  EXPECT_TRUE(WaitFor([&] { return (editor = FindWindowA("Notepad", nullptr)) != nullptr; }, 10000));
  if (editor) {
    EXPECT_NE(zk.Text(editor).find("note.rty"), std::string::npos) << zk.Text(editor);
    PostMessageA(editor, WM_CLOSE, 0, 0);
  }
}

// The preferences first, with the sheet moved off the main window so the panes can be
// seen while it is open; then the function key files.
TEST(SetupSheet, PreferencesChangeThePanesAtOnceAndFunctionKeysPageSavesLoadsAndEditsFiles) {
  ZkApp zk;
  const std::string folder = MakeFolder("setup_pages");
  WriteFile(folder + "\\part.rtm", "F1: <F1  Loaded> hello\nrst 5NN\n");
  WriteFile(folder + "\\note.rty", "UR 599\n");
  WriteFile(folder + "\\huge.rtm", std::string(1024 * 1024, '\n') + "F3: huge\n");
  ASSERT_TRUE(zk.Start("setup_pages",
                       "mycall W1AW\nmsg4 <F5  Call> -(MYCALL)\nwindowloc 0 0 640 480\n"
                       "repeatfkey 3\nrepeatsec 20\nexchangeformat #(HISCALL)\nmsg2 <F3  Old> x\n",
                       ZkApp::SetupAtStart::kKeep));
  HWND sheet = zk.SetupSheet();
  ASSERT_TRUE(sheet);
  SetWindowPos(sheet, nullptr, 660, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ChangePreferences(zk, sheet);
  ChangeFunctionKeys(zk, sheet, folder);
  ASSERT_TRUE(zk.CloseSetup(sheet));
  EXPECT_EQ(zk.ControlText(IDC_F1), "F1  Loaded");
  zk.Command(IDM_CLEAR_TYPING);
  zk.Key(VK_F5);
  EmptyTheClipboard();
  zk.Click(zk.typingPane(), 3, 8);
  EXPECT_EQ(ClipboardText(), "K1ABC") << "the next message sends the new call sign";
  ASSERT_TRUE(zk.Exit());
  char colour[16];
  std::snprintf(colour, sizeof colour, "%lu", kTyped);
  const std::pair<const char*, std::string> stored[] = {
      {"mycall", "K1ABC"},       {"fgaprep", colour},       {"prepfontface", "DejaVu Sans"},
      {"prepfontpoints", "240"}, {"prepfontweight", "700"}, {"msg0", "<F1  Loaded> hello"},
      {"hisrstformat", "5NN"}};
  for (const auto& [key, value] : stored) EXPECT_EQ(zk.Setting(key), value) << key;
}

}  // namespace
