// The engine program zkmodem.exe under Wine: with Zktty receiving a noisy recording and
// transmitting typed text into a file with PTT through Hamlib's rigctld, and two engines
// talking through a PulseAudio null sink. The recordings are made and decoded by the
// native zkrtty; rigctld and PulseAudio are started by run-e2e.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "testbed/win32/fake_peers.h"
#include "testbed/win32/list_view.h"
#include "testbed/win32/zk_app.h"

namespace {

using namespace testbed;

const std::string kQso =
    "CQ CQ CQ DE W1AW W1AW K\r\nW1AW DE G4XYZ G4XYZ UR RST 599 599 NAME IS JOHN QTH LONDON HW CPY? W1AW DE G4XYZ K\r\n"
    "CQ TEST W1AW 599 001 599 002 THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789\r\n";
constexpr int kSettingsButton = 1008;  // zkmodem's "Settings..."

size_t Levenshtein(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1), next(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i, row.swap(next)) {
    next[0] = i;
    for (size_t j = 1; j <= b.size(); ++j)
      next[j] = std::min({row[j] + 1, next[j - 1] + 1, row[j - 1] + (a[i - 1] != b[j - 1])});
  }
  return row[b.size()];
}

std::string WithoutCr(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

size_t Count(const std::string& text, const std::string& word) {
  size_t n = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
  return n;
}

// The engine's window (the top-level window holding its waterfall), of one process or any.
HWND EngineWindow(DWORD process = 0, int ms = 15000) {
  HWND found = nullptr;
  WaitFor(
      [&] {
        found = FindTopWindow(process, nullptr,
                              [](HWND w) { return FindWindowExA(w, nullptr, "ZkWaterfall", nullptr) != nullptr; });
        return found != nullptr;
      },
      ms);
  return found;
}

std::string Caption(HWND window) {
  char text[128] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// Hamlib's dummy radio, asked through rigctld whether PTT is on: "1", "0", or "" when
// rigctld does not answer.
class Rig {
 public:
  Rig() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(std::atoi(Env("ZK_RIGCTLD_PORT").c_str())));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) socket_ = INVALID_SOCKET;
  }
  ~Rig() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
  }
  std::string Ptt() {
    if (socket_ == INVALID_SOCKET || send(socket_, "t\n", 2, 0) != 2) return "";
    std::string answer;
    for (char c = 0; recv(socket_, &c, 1, 0) == 1 && c != '\n';) answer.push_back(c);
    return answer;
  }

 private:
  SOCKET socket_ = INVALID_SOCKET;
};

class Zkmodem : public ::testing::Test {
 protected:
  // A folder of its own with zkmodem.exe and its settings in it.
  static std::string EngineFolder(const std::string& name, const std::string& ini) {
    const std::string folder = MakeFolder(name);
    CopyFileA(ZkApp::PeerPath("zkmodem").c_str(), (folder + "\\zkmodem.exe").c_str(), FALSE);
    WriteFile(folder + "\\zkmodem.ini", ini);
    return folder;
  }
  // Zktty in `folder` beside the engine there, the "MMTTY + sound card" device chosen.
  void StartZktty(const std::string& folder, const std::string& extra = "") {
    zk.RunCopy({{folder + "\\zkmodem.exe", "zkmodem.exe"}, {folder + "\\zkmodem.ini", "zkmodem.ini"}});
    ASSERT_TRUE(
        zk.Start(folder.substr(folder.rfind('\\') + 1) + "_zktty", "devtype 3\nwindowloc 0 0 800 520\n" + extra));
    engine = EngineWindow(0);
    ASSERT_NE(engine, nullptr);
    // Zktty gives the engine's window the two numbers the engine reports: linked.
    ASSERT_TRUE(WaitFor([&] { return zk.Text(engine).rfind("MMTTY     (", 0) == 0; }, 15000)) << zk.Text(engine);
  }
  // zkmodem started as a terminal starts it, in its folder.
  PROCESS_INFORMATION StartEngine(const std::string& folder) {
    std::string line = "\"" + folder + "\\zkmodem.exe\" -s";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    EXPECT_TRUE(
        CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup, &process));
    return process;
  }
  static std::string Native(const std::string& program) { return Env("ZK_SIM_DIR") + "/" + program; }

  ZkApp zk;
  HWND engine = nullptr;
};

TEST_F(Zkmodem, DecodesANoisyRecordingIntoZkttysPaneAndReportsTheSignal) {
  const std::string folder = WinWork() + "\\zkmodem_rx";
  EngineFolder("zkmodem_rx", "rxfile " + folder + "\\rx.wav\nwindowloc 0 530 760 1010\n");
  WriteFile(folder + "\\qso.txt", kQso);
  const std::string unix = UnixWork() + "/zkmodem_rx/";
  // 11025 Hz, -5 dB in 3 kHz, a second of noise first.
  ASSERT_EQ(RunUnix(Native("zkrtty") + " tx --rate 11025 " + unix + "clean.wav <" + unix + "qso.txt && " +
                    Native("noisy_wav") + " " + unix + "clean.wav " + unix + "rx.wav -5 1 0 3"),
            0);
  StartZktty(folder);
  const std::string last = "0123456789";
  bool shot = false;
  WaitFor(
      [&] {
        const std::string text = zk.RxTxText();
        if (!shot && text.size() > 150) shot = zk.Screenshot("zkmodem-receiving-noisy", engine, true);
        return text.find(last) != std::string::npos;
      },
      90000);
  const std::string received = WithoutCr(zk.RxTxText()), sent = WithoutCr(kQso);
  EXPECT_LT(static_cast<double>(Levenshtein(sent, received)) / sent.size(), 0.02) << received;
  // The caption holds the signal-to-noise ratio and the mark, as the engine reported them.
  int snr = 0, mark = 0;
  ASSERT_EQ(std::sscanf(zk.Text(engine).c_str(), "MMTTY     (%d,%d)", &snr, &mark), 2) << zk.Text(engine);
  EXPECT_NEAR(mark, 2125, 10);
  EXPECT_NEAR(snr, -5, 5);
  ASSERT_TRUE(zk.Exit());
  EXPECT_TRUE(WaitFor([&] { return !IsWindow(engine); }));
}

TEST_F(Zkmodem, SendsTypedTextAsAudioWithPttOnTheRadioAndEndsWhenTold) {
  const std::string folder = EngineFolder("zkmodem_tx", "txfile tx.wav\nptt rigctld\nrigctldport " +
                                                            Env("ZK_RIGCTLD_PORT") + "\nwindowloc 0 530 760 1010\n");
  Rig rig;
  ASSERT_EQ(rig.Ptt(), "0");
  StartZktty(folder, "msg1 <F2  End> \\s\n");
  const std::string text = "CQ CQ DE N0CALL N0CALL PSE K";
  zk.Type(text);
  const double start = NowMs();
  zk.SysKey(VK_F10);  // what was typed goes first
  zk.Key(VK_F2);      // the end of the transmission
  double keyed = -1, ended = -1;
  for (; ended < 0 && NowMs() - start < 30000; Sleep(20)) {
    if (keyed < 0 && rig.Ptt() == "1") keyed = NowMs();
    if (zk.ControlText(IDC_TXRX) == "F10  &TX") ended = NowMs();
  }
  ASSERT_GT(keyed, 0) << "PTT never came on";
  ASSERT_GT(ended, 0) << "the end of the transmission was never reported";
  EXPECT_EQ(rig.Ptt(), "0") << "PTT is released before the end is reported";
  EXPECT_EQ(zk.RxTxText(), text + "\r\n") << "each character is echoed as it goes out";

  const std::string unix = UnixWork() + "/zkmodem_tx_zktty/";
  ASSERT_EQ(RunUnix(Native("zkrtty") + " rx " + unix + "tx.wav >" + unix + "tx.txt"), 0);
  EXPECT_EQ(ReadFile(zk.folder() + "\\tx.txt"), text);
  // The end came once the last sample had been played, counted from PTT on (polled every 20 ms).
  const double audioMs = static_cast<double>(ReadFile(zk.folder() + "\\tx.wav").size() - 44) / 2 / 48;
  EXPECT_GE(ended - keyed, audioMs - 30);
  EXPECT_LT(ended - start, audioMs + 3000);

  ASSERT_TRUE(zk.Exit());  // Zktty tells the engine to end
  EXPECT_TRUE(WaitFor([&] { return !IsWindow(engine); }));
  EXPECT_EQ(rig.Ptt(), "0");
  EXPECT_NE(ReadFile(zk.folder() + "\\zkmodem.ini").find("windowloc 0 530 760 1010"), std::string::npos);
}

// Three stations in one recording, +3 dB each; Zktty's receiver starts on W1AW's 2125 Hz.
TEST_F(Zkmodem, TheBandListShowsEveryStationAndARowOrItsMarkMovesZkttysPaneToIt) {
  const std::string folder = WinWork() + "\\zkmodem_band", unix = UnixWork() + "/zkmodem_band/";
  EngineFolder("zkmodem_band", "rxfile " + folder + "\\band.wav\nwindowloc 0 530 760 1010\n");
  const char* const stations[][3] = {{"1275", "G4XYZ", "QRZ DE G4XYZ G4XYZ 599 001\n"},
                                     {"1700", "DL2ABC", "TEST DL2ABC DL2ABC TU\n"},
                                     {"2125", "W1AW", "CQ CQ DE W1AW W1AW K\n"}};
  std::string make, mix;
  for (const auto& s : stations) {
    std::string text;
    for (int i = 0; i < 12; ++i) text += s[2];
    WriteFile(folder + "\\" + s[1] + ".txt", text);
    make +=
        Native("zkrtty") + " tx --rate 11025 --mark " + s[0] + " " + unix + s[1] + ".wav <" + unix + s[1] + ".txt && ";
    mix += (mix.empty() ? "" : ",") + unix + s[1] + ".wav";
  }
  ASSERT_EQ(RunUnix(make + Native("noisy_wav") + " " + mix + " " + unix + "band.wav 3 1 0 3"), 0);
  StartZktty(folder);
  HWND list = FindWindowExA(engine, nullptr, "SysListView32", nullptr);
  std::vector<std::vector<std::string>> rows;
  const auto called = [](const std::vector<std::string>& row) { return !row[3].empty(); };
  ASSERT_TRUE(WaitFor(
      [&] { return (rows = ListRows(list)).size() == 3 && std::all_of(rows.begin(), rows.end(), called); }, 30000))
      << rows.size();
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_NEAR(std::atoi(rows[i][0].c_str()), std::atoi(stations[i][0]), 10) << rows[i][0];
    EXPECT_EQ(rows[i][3], stations[i][1]);
    EXPECT_NE(rows[i][2].find(stations[i][1]), std::string::npos) << rows[i][2];
  }
  ASSERT_TRUE(WaitFor([&] { return Count(zk.RxTxText(), "W1AW") >= 2; }, 15000)) << "the receiver starts on W1AW";

  // A double-click on G4XYZ's row, then a click beside DL2ABC's space in the waterfall: each
  // moves the pane to that station alone.
  HWND waterfall = FindWindowExA(engine, nullptr, "ZkWaterfall", nullptr);
  RECT area;
  GetClientRect(waterfall, &area);
  const LPARAM besideSpace = MAKELPARAM((1700 + 170 + 20) * area.right / 3000, area.bottom / 2);
  const std::pair<const char*, std::vector<std::string>> moves[] = {{"G4XYZ", {"W1AW", "DL2ABC"}},
                                                                    {"DL2ABC", {"W1AW", "G4XYZ"}}};
  for (const auto& [station, others] : moves) {
    const size_t before = zk.RxTxText().size();
    if (station == moves[0].first) {
      ASSERT_TRUE(DoubleClickRow(list, 0));
    } else {
      PostMessageA(waterfall, WM_LBUTTONDOWN, MK_LBUTTON, besideSpace);
    }
    std::string after;
    WaitFor([&] { return Count(after = zk.RxTxText().substr(before), station) >= 3; }, 20000);
    EXPECT_GE(Count(after, station), 3u) << after;
    EXPECT_EQ(Count(after, others[0]) + Count(after, others[1]), 0u) << after;
  }
  zk.Screenshot("zkmodem-band-list", engine, true);
  ASSERT_TRUE(zk.Exit());
}

// The engine killed in the middle of a transmission: Zktty is back to receive and the
// logging program told "pttoff" within 2 s, the operator is asked once whether to start
// the engine again, and Yes starts one that is linked as at start-up.
TEST_F(Zkmodem, AnEngineKilledWhileSendingLeavesZkttyReceivingAndStartsAgainOnYes) {
  FakeLogger log;
  ASSERT_TRUE(log.Start());
  StartZktty(EngineFolder("zkmodem_killed", "txfile tx.wav\nwindowloc 0 530 760 1010\n"));
  zk.Type("RYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRYRY");
  zk.SysKey(VK_F10);
  ASSERT_TRUE(zk.WaitForTxCaption("F10  &RX"));
  Sleep(500);
  DWORD id = 0;
  GetWindowThreadProcessId(engine, &id);
  HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id);
  const size_t before = log.Records().size();
  const double killed = NowMs();
  ASSERT_TRUE(process && TerminateProcess(process, 1));
  CloseHandle(process);
  EXPECT_TRUE(zk.WaitForTxCaption("F10  &TX", 2000));
  const std::vector<std::string> fields = log.Records(before + 1, 2000);
  EXPECT_EQ(fields.size() > before ? fields.back() : "",
            std::to_string(reinterpret_cast<uintptr_t>(zk.main())) + " <control:6>pttoff");
  HWND ask = zk.WaitForDialog("Sound-card engine", 2000);
  ASSERT_TRUE(ask);
  EXPECT_LT(NowMs() - killed, 2000);
  zk.Screenshot("engine-ended", ask, true);
  PostMessageA(ask, WM_COMMAND, IDYES, 0);
  engine = EngineWindow(0);
  ASSERT_NE(engine, nullptr);
  EXPECT_TRUE(WaitFor([&] { return Caption(engine).rfind("MMTTY     (", 0) == 0; }, 15000)) << "linked again";
  EXPECT_EQ(zk.WaitForDialog("Sound-card engine", 0), nullptr) << "asked once";
  ASSERT_TRUE(zk.Exit());
}

// Through Wine's own audio driver: one engine plays into the null sink, the other
// records its monitor.
TEST_F(Zkmodem, TwoEnginesTalkThroughPulseAudio) {
  const std::string rxFolder =
      EngineFolder("zkmodem_loop_rx", "indevice Monitor of zkloop\nwindowloc 0 530 760 1010\n");
  const std::string txFolder = EngineFolder("zkmodem_loop_tx", "outdevice zkloop\nwindowloc 0 0 760 470\n");
  PROCESS_INFORMATION rxProcess = StartEngine(rxFolder), txProcess = StartEngine(txFolder);
  FakeTerminal rx(rxProcess.dwProcessId), tx(txProcess.dwProcessId);
  ASSERT_TRUE(rx.Start() && tx.Start());
  ASSERT_NE(rx.WaitForEngine(), nullptr);
  ASSERT_NE(tx.WaitForEngine(), nullptr);
  const std::string text = "RYRYRY CQ CQ DE N0CALL N0CALL 599 73 K";
  tx.Post(3, 2);
  for (char c : text) tx.Post(4, c);
  tx.Post(3, 1);
  const auto ended = [&] {
    for (const auto& m : tx.Messages())
      if (m.code == 0x8004) return true;
    return false;
  };
  WaitFor([&] { return rx.Text().size() >= 24; }, 30000);
  zk.Screenshot("zkmodem-receiving", EngineWindow(rxProcess.dwProcessId), true);
  EXPECT_TRUE(WaitFor(ended, 30000));
  EXPECT_EQ(tx.TextUntilEnd(), text);
  EXPECT_TRUE(WaitFor([&] { return rx.Text() == text; }, 3000)) << rx.Text();

  PostMessageA(EngineWindow(rxProcess.dwProcessId), WM_COMMAND, kSettingsButton, 0);
  HWND settings = WaitForMessageBox("zkmodem settings");
  ASSERT_NE(settings, nullptr);
  zk.Screenshot("zkmodem-settings", settings, true);
  PostMessageA(settings, WM_COMMAND, IDCANCEL, 0);
  for (PROCESS_INFORMATION* p : {&rxProcess, &txProcess}) {
    (p == &rxProcess ? rx : tx).Post(2, 0);
    EXPECT_EQ(WaitForSingleObject(p->hProcess, 10000), WAIT_OBJECT_0);
    CloseHandle(p->hProcess);
    CloseHandle(p->hThread);
  }
}

}  // namespace
