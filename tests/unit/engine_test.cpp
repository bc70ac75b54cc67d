// The engine program's core: its settings, the link's rules and the session, on a fake
// machine whose cards, PTT, clock and terminal journal what is done to them, in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "channels/channels.h"
#include "engine/engine_session.h"
#include "modem_signals.h"

namespace zk {
namespace {

using Journal = std::vector<std::string>;

std::string Echo(char c) { return "post 7 32771 " + std::to_string(static_cast<uint8_t>(c)); }
const std::string kEnd = "post 7 32772 0";

struct Machine : EngineDevices, Clock, TerminalLink, EngineHost {
  // A sound card in or out: out, it plays each block at once and takes one block a pass.
  // In, it plays `audio` 10 ms a pass.
  struct Card : AudioInput, AudioOutput {
    Card(Journal& j, const char* n, int r, const std::vector<float>* a = nullptr)
        : journal(j), name(n), rate_(r), audio(a) {}
    ~Card() override { journal.push_back(name + " closed"); }
    double rate() const override { return rate_; }
    bool Read(std::vector<float>& out) override {
      const size_t n = audio ? std::min(static_cast<size_t>(rate_ / 100), audio->size() - heard) : 0;
      out.insert(out.end(), audio->begin() + heard, audio->begin() + heard + n);
      heard += n;
      return true;
    }
    bool HasRoom() override { return written == played; }
    void Write(const float*, size_t n) override {
      if (written == 0) journal.push_back("audio");
      written += n;
    }
    uint64_t Played() override { return played = written; }
    Journal& journal;
    std::string name;
    int rate_;
    const std::vector<float>* audio;
    size_t heard = 0;
    uint64_t written = 0, played = 0;
  };
  struct RadioPtt : Ptt {
    RadioPtt(Machine& m, int id) : machine(m), name("ptt " + std::to_string(id)) {}
    bool Set(bool on) override {
      machine.journal.push_back(name + (on ? " on" : " off"));
      problem_ = name + " did not answer";
      return machine.pttWorks;
    }
    std::string Describe() const override { return name; }
    Machine& machine;
    std::string name;
  };

  std::unique_ptr<AudioInput> OpenInput(const std::string& name, int rate, std::string* problem) override {
    journal.push_back("input " + name + " " + std::to_string(rate));
    *problem = "no input card";
    return inputWorks ? std::make_unique<Card>(journal, "input", rate, &band) : nullptr;
  }
  std::unique_ptr<AudioOutput> OpenOutput(const std::string&, int rate, std::string* problem) override {
    journal.push_back("output opened");
    *problem = "no output card";
    return outputWorks ? std::make_unique<Card>(journal, "output", rate) : nullptr;
  }
  std::unique_ptr<Ptt> MakePtt(const EngineSettings&) override {
    journal.push_back("ptt " + std::to_string(++ptts) + " made");
    return std::make_unique<RadioPtt>(*this, ptts);
  }
  double NowMs() override { return now; }
  void Announce() override { journal.push_back("announce"); }
  void Post(intptr_t window, uint32_t code, intptr_t value) override {
    journal.push_back("post " + std::to_string(window) + " " + std::to_string(code) + " " + std::to_string(value));
  }
  // What the rules ask of the modem, when they are tested alone.
  void Linked() override { journal.push_back("linked"); }
  void Receive() override { journal.push_back("receive"); }
  void Transmit() override { journal.push_back("transmit"); }
  void Finish() override { journal.push_back("finish"); }
  void Send(char ch) override { journal.push_back(std::string("send ") + ch); }
  void Exit() override { journal.push_back("exit"); }
  Journal Take() { return std::exchange(journal, {}); }

  Journal journal;
  std::vector<float> band;  // what the input card hears
  double now = 0;
  int ptts = 0;
  bool inputWorks = true, outputWorks = true, pttWorks = true;
};

EngineSettings Read(const std::string& text, EngineSettings s = {}) {
  ReadEngineSettingsText(s, text.data(), text.size());
  return s;
}

TEST(EngineSettings, EveryValueSurvivesTheFile) {
  const std::string text =
      "indevice Monitor of zkloop\noutdevice zkloop\nsamplerate 44100\nbaud 75\nshift 850\nmark 1275.5\n"
      "stopbits 2\nreverse 1\nafc 0\nsquelch 0\nsquelchdb -9.5\ntxlevel 7\nptt rigctld\npttport COM12\n"
      "rigctldhost radio.local\nrigctldport 4533\nrxfile C:\\rec\\band noise.wav\ntxfile /tmp/tx.wav\nbandlist 0\n"
      "windowloc -3 4 500 600\n";
  EXPECT_EQ(FormatEngineSettings(Read(text)), text);
  const std::string defaults = FormatEngineSettings(EngineSettings{});
  for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
    EXPECT_EQ(defaults.find(text.substr(at, end + 1 - at)), std::string::npos) << "the default has " << at;
}

TEST(EngineSettings, ValuesOutOfRangeOrNotUnderstoodKeepTheSetting) {
  const std::string bad =
      "samplerate 96000\nsamplerate 8000.5\nbaud 1e999\nshift abc\nstopbits 1.25\nreverse 2\nafc yes\n"
      "squelchdb -30.5\nsquelchdb 31\nsquelchdb off\n"
      "txlevel 0\nptt vox\npttport COM0\npttport 256\nrigctldhost two words\nrigctldport 70000\n"
      "windowloc 1 2 3\nbandlist on\nmark -5\nnokey 1\n\n   \n" +
      std::string(70, 'x') + "\nindevice " + std::string(64, 'd') + "\nrxfile " + std::string(260, 'p') + "\n";
  EXPECT_EQ(FormatEngineSettings(Read(bad)), FormatEngineSettings(EngineSettings{}));

  const EngineSettings s = Read("pttport com3\r\nptt dtr\r\nrxfile  a b.wav  \r\nstopbits 1\nsamplerate 8000\n");
  EXPECT_EQ(FormatEngineSettings(s), FormatEngineSettings(Read("pttport 3\nptt dtr\nrxfile a b.wav\nstopbits 1\n"
                                                               "samplerate 8000\n")));
  EXPECT_EQ(Read("rxfile\n", s).rxFile, "");  // a key alone empties a name
}

TEST(EngineSettings, AMarkThatDoesNotFitWithTheShiftGoesBackToTheDefault) {
  EXPECT_EQ(Read("mark 3000\nshift 850\n").mark, 2125);  // space at 3850 Hz would not fit
  const EngineSettings low = Read("mark 150\nshift 1000\nreverse 1\nbaud 150\n");
  EXPECT_EQ(FormatEngineSettings(low), FormatEngineSettings(Read("shift 1000\nreverse 1\nbaud 150\n")));
  EXPECT_EQ(Read("mark 2975\nshift 850\nreverse 1\n").mark, 2975);
}

TEST(EngineRules, AnnouncesUntilAnsweredThenAnswersOnlyThatWindow) {
  Machine m;
  EngineRules rules(m, m, true);
  rules.Start(0);
  rules.Decoded('A');  // nobody to tell yet
  for (int ms = 100; ms <= 12000; ms += 100) rules.Tick(ms, 2125, 10);
  EXPECT_EQ(m.Take(), Journal(kAnnounceTries, "announce"));
  rules.Handle(engine::kReply, 0);     // no window: not an answer
  rules.Handle(engine::kAnnounce, 5);  // our own broadcast coming back
  rules.Handle(0x7FFFFFFF, 1);
  EXPECT_EQ(m.Take(), Journal{});
  rules.Handle(engine::kReply, 7);
  rules.Handle(engine::kReply, 7);
  rules.Decoded('\xE9');
  EXPECT_EQ(m.Take(), (Journal{"linked", "post 7 32771 233"}));

  EngineRules alone(m, m, false);  // started by the operator: one announcement
  alone.Start(0);
  for (int ms = 100; ms <= 5000; ms += 100) alone.Tick(ms, 2125, 10);
  EXPECT_EQ(m.Take(), Journal{"announce"});
}

TEST(EngineRules, ReportsBothNumbersTwiceASecondWhileTheyChange) {
  Machine m;
  EngineRules rules(m, m, true);
  rules.Tick(0, 2125, 3);  // not linked: nothing
  rules.Handle(engine::kReply, 7);
  m.Take();
  rules.Tick(100, 2125.4, 3.4);
  rules.Tick(200, 2131, 4);  // within half a second of the last report
  EXPECT_EQ(m.Take(), (Journal{"post 7 32775 2125", "post 7 32776 3"}));
  rules.Tick(600, 2131, 4);
  rules.Tick(1100, 2131, 4.2);  // unchanged
  rules.Tick(1200, 2131, -150);
  EXPECT_EQ(m.Take(), (Journal{"post 7 32775 2131", "post 7 32776 4", "post 7 32776 -99"}));
  rules.Handle(engine::kSync, 0);  // asks for both now
  rules.Tick(1300, 2131, -150);
  EXPECT_EQ(m.Take(), (Journal{"post 7 32775 2131", "post 7 32776 -99"}));
}

class EngineSessionTest : public ::testing::Test {
 protected:
  // Started by a terminal, which answers at once and is told the two numbers.
  void Start() {
    session = std::make_unique<EngineSession>(m, m, m, true, ".");
    session->Start(settings);
    session->FromTerminal(engine::kReply, 7);
    session->Pump();
    m.Take();
  }
  void Apply() { session->Apply(settings); }
  void Send(const std::string& text) {
    session->FromTerminal(engine::kMode, engine::kModeTransmit);
    for (char c : text) session->FromTerminal(engine::kSend, c);
    session->FromTerminal(engine::kMode, engine::kModeFinish);
  }
  // Passes of the thread 10 ms apart until the terminal hears of the end.
  bool PumpUntilEnd() {
    for (int pass = 0; pass < 3000; ++pass) {
      m.now += 10;
      session->Pump();
      if (!m.journal.empty() && m.journal.back() == kEnd) return true;
    }
    return false;
  }

  Machine m;
  EngineSettings settings;
  std::unique_ptr<EngineSession> session;
};

uint32_t At(const std::string& wav, size_t offset) {
  uint32_t v = 0;
  if (wav.size() >= offset + 4) std::memcpy(&v, wav.data() + offset, 4);  // little-endian, as the file
  return v;
}

TEST_F(EngineSessionTest, ReopensTheInputOnlyForANewCardRateOrFile) {
  const std::string file = testing::TempDir() + "engine_session_rx.wav";
  WavFile silence;
  ASSERT_TRUE(silence.Open(file, 11025));
  silence.Close();
  Start();
  settings.baud = 75, settings.afc = false, settings.squelchDb = -5, settings.ptt = PttKind::kDtr;
  Apply();
  settings.inDevice = "zkloop";
  Apply();
  settings.sampleRate = 8000;
  Apply();
  settings.rxFile = file;
  Apply();
  EXPECT_EQ(session->TakeStatus().input, "Input: file " + file + ", 11025 Hz");
  settings.rxFile = "";
  Apply();
  EXPECT_EQ(m.Take(), (Journal{"ptt 2 made", "ptt 2 off", "input closed", "input zkloop 48000", "input closed",
                               "input zkloop 8000", "input closed", "input zkloop 8000"}));
}

TEST_F(EngineSessionTest, KeysBeforeTheFirstBlockAndTellsTheEndOnceOutputIsClosedAndPttReleased) {
  Start();
  session->FromTerminal(engine::kSend, 'X');                  // nothing is sent while receiving
  session->FromTerminal(engine::kMode, engine::kModeFinish);  // nothing to finish: done at once
  EXPECT_EQ(m.Take(), Journal{kEnd});
  session->FromTerminal(engine::kMode, engine::kModeTransmit);
  session->FromTerminal(engine::kSend, 0x152);  // 'R': only the low 8 bits count
  session->FromTerminal(engine::kMode, engine::kModeFinish);
  session->FromTerminal(engine::kSend, 'Y');  // typed while the end is under way still goes out
  ASSERT_TRUE(PumpUntilEnd());
  EXPECT_EQ(m.Take(),
            (Journal{"ptt 1 on", "output opened", "audio", Echo('R'), Echo('Y'), "output closed", "ptt 1 off", kEnd}));

  Send("RYRYRY");
  session->FromTerminal(engine::kMode, engine::kModeReceive);  // broken off: released, and no end told
  for (int pass = 0; pass < 100; ++pass, m.now += 10) session->Pump();
  EXPECT_EQ(m.Take(), (Journal{"ptt 1 on", "output opened", "audio", "output closed", "ptt 1 off"}));
  session->FromTerminal(engine::kExit, 0);
  EXPECT_TRUE(session->exitAsked());
}

TEST_F(EngineSessionTest, MakesPttAgainOnlyOnceTheTransmitterIsReleased) {
  Start();
  settings.pttPort = 2;
  Apply();
  EXPECT_EQ(m.Take(), (Journal{"ptt 2 made", "ptt 2 off"}));
  Send("RY");
  session->Pump();
  settings.ptt = PttKind::kRigctld;
  Apply();
  ASSERT_TRUE(PumpUntilEnd());
  EXPECT_EQ(m.Take(), (Journal{"ptt 2 on", "output opened", "audio", Echo('R'), Echo('Y'), "output closed", "ptt 2 off",
                               "ptt 3 made", "ptt 3 off", kEnd}));
}

TEST_F(EngineSessionTest, OneTransmitFileTakesTransmissionAfterTransmissionWholeAfterEach) {
  settings.txFile = testing::TempDir() + "engine_session_tx.wav";
  Start();
  std::vector<std::string> files;
  for (int rate : {48000, 48000, 8000}) {
    settings.sampleRate = rate;
    Apply();
    Send("RY");
    ASSERT_TRUE(PumpUntilEnd());
    std::ifstream written(settings.txFile, std::ios::binary);
    files.emplace_back(std::istreambuf_iterator<char>(written), std::istreambuf_iterator<char>());
    EXPECT_EQ(At(files.back(), 40), files.back().size() - 44) << "the data's size in the header";
    EXPECT_EQ(At(files.back(), 24), static_cast<uint32_t>(rate));
  }
  EXPECT_EQ(files[1].substr(44, files[0].size() - 44), files[0].substr(44)) << "the first transmission is kept";
  EXPECT_GT(files[1].size(), files[0].size());
  EXPECT_LT(files[2].size(), files[0].size()) << "another rate starts the file afresh";
  for (const std::string& line : m.Take()) EXPECT_NE(line, "output opened") << "the card stays closed";
}

TEST_F(EngineSessionTest, ACardOrPttThatFailsIsShownAndTheTerminalStillHearsTheEnd) {
  m.inputWorks = false;
  Start();
  const EngineStatus status = session->TakeStatus();
  EXPECT_EQ(status.input + ": " + status.problem, "Input: none: no input card");
  for (bool pttFails : {true, false}) {
    m.pttWorks = !pttFails;
    m.outputWorks = pttFails;
    Send("RY");
    ASSERT_TRUE(PumpUntilEnd());
    EXPECT_EQ(session->TakeStatus().problem, pttFails ? "ptt 1 did not answer" : "no output card");
    EXPECT_EQ(m.Take(), pttFails ? (Journal{"ptt 1 on", "output opened", "audio", Echo('R'), Echo('Y'), "output closed",
                                            "ptt 1 off", kEnd})
                                 : (Journal{"ptt 1 on", "output opened", Echo('R'), Echo('Y'), "ptt 1 off", kEnd}));
  }
}

// Two stations at 16000 Hz (the band list hears them at half that): W1AW on 1275 Hz, G4XYZ on
// the receiver's 2125 Hz.
TEST_F(EngineSessionTest, ListsTheBandWhileShownAndTunesTheReceiverToAListedStation) {
  settings.sampleRate = 16000;
  std::string w1aw, g4xyz, g4xyzHeard;  // each line end goes out as CR LF
  for (int i = 0; i < 8; ++i) w1aw += "CQ DE W1AW W1AW K\n", g4xyz += "QRZ G4XYZ\n", g4xyzHeard += "QRZ G4XYZ\r\n";
  ModemSettings tones;
  tones.sampleRate = settings.sampleRate;
  tones.mark = 1275;
  m.band = Transmit(w1aw, tones);
  tones.mark = 2125;
  const std::vector<float> other = Transmit(g4xyz + g4xyz, tones);
  for (size_t i = 0; i < m.band.size() && i < other.size(); ++i) m.band[i] += other[i];
  channel::AddNoise(m.band, channel::NoiseVariance(channel::MeanSquare(other), settings.sampleRate, 10), 1);
  std::string received;
  const auto play = [&](int seconds) {
    for (int pass = 0; pass < seconds * 100; ++pass, m.now += 10) session->Pump();
    for (const std::string& post : m.Take())
      if (post.rfind("post 7 32771 ", 0) == 0) received += static_cast<char>(std::stoi(post.substr(13)));
    return session->TakeStatus();
  };
  Start();
  std::vector<BandRow> band = play(5).band;
  ASSERT_EQ(band.size(), 2u);
  EXPECT_NEAR(band[0].markHz, 1275, 5);
  EXPECT_NEAR(band[1].spaceHz, 2295, 5);
  EXPECT_EQ(band[0].callSign + " " + band[1].callSign, "W1AW G4XYZ");
  EXPECT_EQ(SignalAt(band, 1275 + 170 - 25), &band[0]);
  EXPECT_EQ(SignalAt(band, 1275 + 170 + 35), nullptr);

  session->SetBandList(false);
  EXPECT_TRUE(play(1).band.empty());
  session->SetBandList(true);
  EXPECT_TRUE(session->TakeStatus().band.empty()) << "made afresh";
  band = play(5).band;
  ASSERT_EQ(band.size(), 2u);
  const std::string& text = band[0].text;  // a line end shows as one blank
  EXPECT_TRUE(text.find("W1AW K ") != std::string::npos && text.find("  ") == std::string::npos &&
              std::all_of(text.begin(), text.end(), [](char c) { return c >= ' '; }))
      << text;
  EXPECT_EQ(received, (g4xyzHeard + g4xyzHeard).substr(0, received.size())) << "the receiver undisturbed by the list";
  session->TuneTo(band[0].id);
  received.clear();
  EXPECT_NEAR(play(7).markHz, 1275, 5);
  EXPECT_NE(received.find("CQ DE W1AW"), std::string::npos) << received;
  EXPECT_EQ(received.find("G4XYZ"), std::string::npos) << received;
  session->SetVisible(false);
  EXPECT_TRUE(play(1).band.empty()) << "nobody sees it";
}

}  // namespace
}  // namespace zk
