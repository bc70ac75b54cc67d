// The links with the logging program and the sound-card engine under Wine: the driver
// plays both peers (testbed/win32/fake_peers.h) and compares every field and code.
#include <gtest/gtest.h>

#include <random>

#include "app/win32/device_commands.h"
#include "resources/resource.h"
#include "testbed/win32/fake_peers.h"
#include "testbed/win32/zk_app.h"

namespace {

using namespace testbed;
using Fields = std::vector<std::pair<std::string, std::string>>;

// A TNC on COM9, whose far end (COM8) a test reads when it needs to.
const std::string kQuiet = "devtype 2\nttyport 9\nttybaud 9600\nwindowloc 0 0 800 520\n";

std::string Id(HWND window) { return std::to_string(reinterpret_cast<uintptr_t>(window)); }

// Zktty with the fake logging program running before it starts (unless told otherwise).
class Links : public ::testing::Test {
 protected:
  void Start(const std::string& name, const std::string& ini, bool logger = true) {
    if (logger) {
      ASSERT_TRUE(log.Start());
    }
    ASSERT_TRUE(zk.Start(name, ini));
  }
  // The records of `peer` after those already seen, once `count` more have come; the
  // engine's repeated "3 1" (the writer asks again at each wake-up) counts once.
  static std::vector<std::string> Next(PeerWindow& peer, size_t& seen, size_t count) {
    const std::vector<std::string> all = peer.Records(seen + count);
    std::vector<std::string> fresh;
    for (size_t i = seen; i < all.size(); ++i)
      if (all[i] != "3 1" || fresh.empty() || fresh.back() != "3 1") fresh.push_back(all[i]);
    seen = all.size();
    return fresh;
  }
  // The next fields the logging program gets, each from Zktty's main window.
  void ExpectFields(const Fields& fields) {
    std::vector<std::string> expected;
    for (const auto& [name, value] : fields)
      expected.push_back(Id(zk.main()) + " <" + name + ":" + std::to_string(value.size()) + ">" + value);
    EXPECT_EQ(Next(log, seen, expected.size()), expected);
  }
  void SetCallBox(const char* text) {
    SendMessageA(zk.Control(IDC_CALLBOX), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
  }
  // Clicks along the receive/transmit pane's first row until a click selects `word`.
  POINT FindWord(const std::string& word) {
    RECT client;
    GetClientRect(zk.rxTxPane(), &client);
    for (int x = 1; x < client.right; x += 2) {
      EmptyTheClipboard();
      zk.Click(zk.rxTxPane(), x, 8);
      if (ClipboardText().compare(0, word.size(), word) == 0) return POINT{x, 8};
    }
    ADD_FAILURE() << word << " not found";
    return POINT{0, 8};
  }
  void Mouse(UINT message, POINT at) { SendMessageA(zk.rxTxPane(), message, 0, MAKELPARAM(at.x, at.y)); }
  // Waits until `read` gives `expected`, then compares, so a failure shows every byte.
  template <typename F>
  static void Expect(F read, const std::string& expected) {
    WaitFor([&] { return read() == expected; });
    EXPECT_EQ(read(), expected);
  }

  FakeLogger log;
  ZkApp zk;
  size_t seen = 0;
};

class LogLink : public Links {};
class Engine : public Links {};

TEST_F(LogLink, CallBoxUpdateAndNewFromStartToExit) {
  Start("log_call_box", kQuiet + "msg0 <F1  Mark> \\l\nmsg1 <F2  Log> \\l\\u\n");
  const std::string main = Id(zk.main());  // "rttystarted" comes from no window: there is none yet
  EXPECT_EQ(Next(log, seen, 3),
            (std::vector<std::string>{"0 <control:11>rttystarted", "announce 1001 " + main, "announce 1000 " + main}));
  SendMessageA(zk.Control(IDC_CALLBOX), WM_CHAR, 'w', 1);
  SendMessageA(zk.Control(IDC_CALLBOX), WM_CHAR, '1', 1);
  SetCallBox("K1ABC \t");
  ExpectFields({{"CALL", "w"}, {"CALL", "w1"}, {"CALL", "K1ABC"}});
  zk.Command(IDC_UPDATE);
  zk.Command(IDC_UPDATE);  // an empty Call box: nothing to log
  ExpectFields({{"control", "updatelog"}, {"CALL", ""}});
  // A contact marked by "\l": New asks first; Yes logs it, No does not; the mark goes.
  for (const int answer : {IDYES, IDNO}) {
    zk.Key(VK_F1);
    SetCallBox("G4XYZ");
    zk.PostCommand(IDC_NEW);
    HWND box = WaitForMessageBox("Update log?", 5000);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(WaitFor([&] { return HasChildText(box, "Save the current QSO to log?"); }));
    if (answer == IDYES) zk.Screenshot("update-log-question", box);
    PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(answer), 0);
    Fields expected{{"CALL", "G4XYZ"}};
    if (answer == IDYES) expected.insert(expected.end(), {{"control", "updatelog"}, {"CALL", ""}});
    expected.insert(expected.end(), {{"control", "new"}, {"CALL", ""}});
    ExpectFields(expected);
  }
  SetCallBox("G4XYZ");
  zk.Key(VK_F2);  // marked, then logged: no mark is left
  SetCallBox("G4XYZ");
  zk.PostCommand(IDC_NEW);  // no mark: no question
  ExpectFields(
      {{"CALL", "G4XYZ"}, {"control", "updatelog"}, {"CALL", ""}, {"CALL", "G4XYZ"}, {"control", "new"}, {"CALL", ""}});
  ASSERT_TRUE(zk.Exit());
  ExpectFields({{"control", "rttystopped"}});
}

TEST_F(LogLink, ReceivedFieldsReportsInMacrosAndPanePicks) {
  SerialEnd tnc;
  ASSERT_TRUE(tnc.Open("COM8"));
  Start("log_received", kQuiet + "exchangeformat #2 #2\nmsg1 <F2  Rst> \\t(HISRST)|(EXCHANGEONLY)|(MYRST)\\s\n");
  seen = log.Records(3).size();
  const std::pair<std::string, std::string> blocks[] = {
      // each answered with the Call box as "CALL"
      {"<rst_sent:7>599 001<CALL:5>W1ABC", "W1ABC"},
      {"<control>update", ""},
      {"<call:1>X<rst_rcvd:10>599", "X"},  // a length past the end
      {"<foo:3>bar <Call:2>AB <RST_RCVD:3>579", "AB"},
      {"<CONTROL:3>New", ""},
  };
  for (const auto& [block, callBox] : blocks) {
    EXPECT_EQ(log.SendBlock(zk.main(), block), 1) << block;
    EXPECT_EQ(zk.ControlText(IDC_CALLBOX), callBox) << block;
    ExpectFields({{"CALL", callBox}});
  }
  tnc.Drain();
  zk.Key(VK_F2);
  EXPECT_EQ(tnc.ReadUntil("\x1a ", 3000), "599 001|001 001|579\x1a ");  // and the blank after a message

  const std::string thirty = "ABCDEFGHIJKLMNOPQRSTUVWXYZABCD";
  tnc.Write("CQ DE G4XYZ 5NN-001 " + thirty + "\r\n");
  ASSERT_TRUE(WaitFor([&] { return zk.RxTxText().find(thirty) != std::string::npos; }));
  Mouse(WM_LBUTTONDBLCLK, FindWord("G4XYZ"));
  EXPECT_EQ(zk.ControlText(IDC_CALLBOX), "G4XYZ");
  ExpectFields({{"CALL", "G4XYZ"}, {"MODE", "RTTY"}, {"CALL", "G4XYZ"}});
  Mouse(WM_LBUTTONDBLCLK, FindWord(thirty));
  ExpectFields({{"CALL", thirty}, {"MODE", "RTTY"}, {"CALL", thirty.substr(0, 25)}});
  const POINT report = FindWord("5NN-001");
  Mouse(WM_RBUTTONDOWN, report);
  Mouse(WM_RBUTTONDOWN, report);  // nothing selected any more
  ExpectFields({{"rst_rcvd", "599 001"}, {"rst_rcvd", ""}});
}

// Before any logger is linked, ten thousand blocks of random bytes are each answered;
// a logger started then is linked and may end Zktty.
TEST_F(LogLink, RandomBlocksThenALoggerStartedLaterIsLinkedAndMayEndZktty) {
  Start("log_late", kQuiet, false);
  std::mt19937 random(1);
  std::uniform_int_distribution<int> size(0, 64 * 1024), byte(0, 255);
  // Every other block is made of the field grammar's pieces, to reach past the first byte.
  const std::string pieces[] = {"<", ">", ":", "5", "12", "call", "CONTROL", "new", "rst_sent", {'\0'}, " ", "x"};
  std::string block;
  for (int i = 0; i < 10000 && !HasFailure(); ++i) {
    block.clear();
    const size_t wanted = static_cast<size_t>(size(random));
    while (block.size() < wanted)
      block += i % 2 ? std::string(1, static_cast<char>(byte(random))) : pieces[byte(random) % 12];
    block.resize(wanted);
    COPYDATASTRUCT data{0, static_cast<DWORD>(block.size()), block.data()};
    DWORD_PTR result = 0;
    const LPARAM sent = reinterpret_cast<LPARAM>(&data);
    ASSERT_NE(SendMessageTimeoutA(zk.main(), WM_COPYDATA, 0, sent, SMTO_NORMAL, 5000, &result), 0) << i;
    EXPECT_EQ(result, 1u);
  }
  ASSERT_TRUE(log.Start());
  log.Announce(1001);  // so Zktty's own broadcast at its start did not count as a logger
  EXPECT_EQ(Next(log, seen, 1), std::vector<std::string>{"announce 1000 " + Id(zk.main())});
  SetCallBox("N0CALL");
  ExpectFields({{"CALL", "N0CALL"}});
  PostMessageA(zk.main(), log.registered, 1002, reinterpret_cast<LPARAM>(log.window()));
  EXPECT_TRUE(zk.WaitForExit());
  EXPECT_EQ(log.Records(seen + 1, 300).size(), seen) << "the link had ended: no \"rttystopped\"";
}

// A second Zktty announces its window as any terminal does; each links to the logging
// program only, and each Call box reaches it at once.
TEST_F(LogLink, TwoZkttysEachReachTheLoggerAndNeverEachOtherAndAHungLoggerNeverHoldsTheWindowLong) {
  Start("log_first", kQuiet);
  ZkApp second;
  ASSERT_TRUE(second.Start("log_second", "windowloc 0 0 800 520\n"));
  const std::tuple<ZkApp*, const char*, const char*> sends[] = {{&zk, "K1ABC", "K1ABC|"},
                                                                {&second, "G4XYZ", "K1ABC|G4XYZ"}};
  for (const auto& [app, call, boxes] : sends) {
    const size_t before = log.Records(0, 300).size();
    const double sent = NowMs();
    SendMessageA(app->Control(IDC_CALLBOX), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(call));
    const std::vector<std::string> records = log.Records(before + 1, 1000);
    EXPECT_LT(NowMs() - sent, 200) << call;
    EXPECT_EQ(records.size() > before ? records[before] : "", Id(app->main()) + " <CALL:5>" + call);
    EXPECT_EQ(zk.ControlText(IDC_CALLBOX) + "|" + second.ControlText(IDC_CALLBOX), boxes);
  }
  ASSERT_TRUE(second.Exit());

  // A logging program that stops answering for 10 s costs each field at most the send's
  // time-out (2 s), after which the window answers again.
  log.HangNextFieldFor(10000);
  const double hangStart = NowMs();
  for (int i = 0; i < 4; ++i) {
    const double sent = NowMs();
    PostMessageA(zk.main(), WM_COMMAND, MAKEWPARAM(IDC_CALLBOX, EN_CHANGE), 0);
    zk.Sync();
    EXPECT_LT(NowMs() - sent, 2500) << "send " << i;
  }
  Sleep(static_cast<DWORD>(std::max(0.0, 10500 - (NowMs() - hangStart))));
  SetCallBox("G0ABC");
  Expect(
      [&] {
        const auto all = log.Records();
        return all.empty() ? std::string() : all.back();
      },
      Id(zk.main()) + " <CALL:5>G0ABC");
}

TEST_F(Engine, StartedLinkedSwitchedFedAndEnded) {
  zk.RunCopy({{ZkApp::PeerPath("fake_engine"), "mmtty.exe"}});
  Start("engine", "devtype 3\nwindowloc 0 0 800 520\nmsg1 <F2  Test> \\tABC\\s\n");
  Expect([&] { return ReadFile(zk.folder() + "\\mmtty.exe.cmdline"); }, "mmtty -s");
  seen = log.Records(4).size();  // rttystarted, pttoff, the two announcements
  FakeEngine engine(zk.main());
  ASSERT_TRUE(engine.Start());
  size_t heard = 0;
  engine.Announce();
  EXPECT_EQ(Next(engine, heard, 2), (std::vector<std::string>{"0 main", "12 0"}));
  engine.Receive(std::string("CQ\r\r\n\0", 6));
  engine.Post(0x8003, 0x141);
  Expect([&] { return zk.RxTxText(); }, "CQ\r\nA\r\n");  // every line ends in CR LF
  zk.Key(VK_F2);
  EXPECT_EQ(Next(engine, heard, 5), (std::vector<std::string>{"3 2", "4 65", "4 66", "4 67", "3 1"}));
  ExpectFields({{"control", "ptton"}});
  engine.Receive("ABC\r\r");  // the engine's echo of what it sends
  engine.Post(0x8004, 0);
  EXPECT_TRUE(zk.WaitForTxCaption("F10  &TX"));
  ExpectFields({{"control", "pttoff"}});
  Expect([&] { return zk.RxTxText(); }, "CQ\r\nAABC\r\n\r\n");  // both CRs of the echo
  engine.Post(0x8008, 7);
  Expect([&] { return engine.Caption(); }, "MMTTY     (7,0)");
  engine.Post(0x8007, 9);
  Expect([&] { return engine.Caption(); }, "MMTTY     (7,9)");
  ASSERT_TRUE(zk.Exit());
  std::vector<std::string> last = Next(engine, heard, 2);
  if (!last.empty() && last.front() == "3 1") last.erase(last.begin());
  EXPECT_EQ(last, (std::vector<std::string>{"3 0", "2 0"}));
}

TEST_F(Engine, TheOwnEngineWhenThereIsNoMmttyAndOneMessageWhenThereIsNone) {
  zk.RunCopy({{ZkApp::PeerPath("fake_engine"), "zkmodem.exe"}});
  Start("engine_own", "devtype 3\n", false);
  Expect([&] { return ReadFile(zk.folder() + "\\zkmodem.exe.cmdline"); }, "zkmodem -s");
  EXPECT_EQ(FindWindowA("#32770", kNoEngineCaption), nullptr);
  ASSERT_TRUE(zk.Exit());

  ZkApp none;
  none.RunCopy({});
  ASSERT_TRUE(none.Launch("engine_none", "devtype 3\n"));
  HWND box = WaitForMessageBox(kNoEngineCaption);
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(WaitFor([&] { return HasChildText(box, kNoEngineText); }));
  none.Screenshot("no-engine", box);
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(none.WaitForMainWindow());
  EXPECT_EQ(FindWindowA("#32770", kNoEngineCaption), nullptr) << "one message only";
  ASSERT_TRUE(none.Exit());
}

}  // namespace
