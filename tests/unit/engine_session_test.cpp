#include "engine/engine_session.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zk {
namespace {

using Journal = std::vector<std::string>;

// The cards, PTT, clock and terminal of one run, writing what is done to them in one
// journal, in order. Outputs play each block at once and take one block a pass.
struct Machine : EngineDevices, Clock, TerminalLink {
  struct Input : AudioInput {
    Input(Journal& j, int r) : journal(j), rate_(r) {}
    ~Input() override { journal.push_back("input closed"); }
    double rate() const override { return rate_; }
    bool Read(std::vector<float>&) override { return true; }
    Journal& journal;
    int rate_;
  };
  struct Output : AudioOutput {
    explicit Output(Journal& j) : journal(j) {}
    ~Output() override { journal.push_back("output closed"); }
    bool HasRoom() override { return written == played; }
    void Write(const float*, size_t n) override {
      if (written == 0) journal.push_back("audio");
      written += n;
    }
    uint64_t Played() override { return played = written; }
    Journal& journal;
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
    if (!inputWorks) *problem = "no input card";
    return inputWorks ? std::make_unique<Input>(journal, rate) : nullptr;
  }
  std::unique_ptr<AudioOutput> OpenOutput(const std::string&, int, std::string* problem) override {
    journal.push_back("output opened");
    if (!outputWorks) *problem = "no output card";
    return outputWorks ? std::make_unique<Output>(journal) : nullptr;
  }
  std::unique_ptr<Ptt> MakePtt(const EngineSettings&) override {
    journal.push_back("ptt " + std::to_string(++ptts) + " made");
    return std::make_unique<RadioPtt>(*this, ptts);
  }
  double NowMs() override { return now; }
  void Announce() override {}
  // Characters and the end; the two numbers for the caption are left out.
  void Post(intptr_t, uint32_t code, intptr_t value) override {
    if (code == engine::kReceived) journal.push_back(std::string("echo ") + static_cast<char>(value));
    if (code == engine::kTransmitDone) journal.push_back("end");
  }

  Journal journal;
  double now = 0;
  int ptts = 0;
  bool inputWorks = true, outputWorks = true, pttWorks = true;
};

class EngineSessionTest : public ::testing::Test {
 protected:
  // Started by a terminal, which answers at once.
  void Start() {
    session = std::make_unique<EngineSession>(machine, machine, machine, true, ".");
    session->Start(settings);
    session->FromTerminal(engine::kReply, 7);
    machine.journal.clear();
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
      machine.now += 10;
      session->Pump();
      if (!machine.journal.empty() && machine.journal.back() == "end") return true;
    }
    return false;
  }
  Journal Take() { return std::exchange(machine.journal, {}); }
  EngineStatus Status() { return session->TakeStatus(); }

  Machine machine;
  EngineSettings settings;
  std::unique_ptr<EngineSession> session;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

uint32_t At(const std::string& wav, size_t offset) {
  uint32_t v = 0;
  if (wav.size() >= offset + 4) std::memcpy(&v, wav.data() + offset, 4);  // little-endian, as the file
  return v;
}

void WriteSilence(const std::string& path, uint32_t rate, size_t samples) {
  WavFile file;
  ASSERT_TRUE(file.Open(path, rate));
  const std::vector<float> silence(samples);
  file.Write(silence.data(), silence.size());
  file.Close();
}

TEST_F(EngineSessionTest, ReopensTheInputOnlyForANewCardRateOrFile) {
  const std::string file = testing::TempDir() + "engine_session_rx.wav";
  WriteSilence(file, 11025, 100);
  Start();
  settings.baud = 75, settings.afc = false, settings.squelchDb = -5, settings.ptt = PttKind::kDtr;
  Apply();
  settings.inDevice = "zkloop";
  Apply();
  settings.sampleRate = 8000;
  Apply();
  settings.rxFile = file;
  Apply();
  EXPECT_EQ(Status().input, "Input: file " + file + ", 11025 Hz");
  settings.rxFile = "";
  Apply();
  EXPECT_EQ(Take(), (Journal{"ptt 2 made", "ptt 2 off", "input closed", "input zkloop 48000", "input closed",
                             "input zkloop 8000", "input closed", "input zkloop 8000"}));
}

TEST_F(EngineSessionTest, KeysBeforeTheFirstBlockAndTellsTheEndOnceOutputIsClosedAndPttReleased) {
  Start();
  Send("RY");
  ASSERT_TRUE(PumpUntilEnd());
  EXPECT_EQ(Take(), (Journal{"ptt 1 on", "output opened", "audio", "echo R", "echo Y", "output closed", "ptt 1 off",
                             "end"}));
}

TEST_F(EngineSessionTest, MakesPttAgainOnlyOnceTheTransmitterIsReleased) {
  Start();
  settings.pttPort = 2;
  Apply();
  EXPECT_EQ(Take(), (Journal{"ptt 2 made", "ptt 2 off"}));
  Send("RY");
  session->Pump();
  settings.ptt = PttKind::kRigctld;
  Apply();
  ASSERT_TRUE(PumpUntilEnd());
  EXPECT_EQ(Take(), (Journal{"ptt 2 on", "output opened", "audio", "echo R", "echo Y", "output closed", "ptt 2 off",
                             "ptt 3 made", "ptt 3 off", "end"}));
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
    files.push_back(Slurp(settings.txFile));
    EXPECT_EQ(At(files.back(), 40), files.back().size() - 44) << "the data's size in the header";
    EXPECT_EQ(At(files.back(), 24), static_cast<uint32_t>(rate));
  }
  ASSERT_GT(files[0].size(), 44u + 48000 / 5);
  EXPECT_EQ(files[1].substr(8, 32), files[0].substr(8, 32));
  EXPECT_EQ(files[1].substr(44, files[0].size() - 44), files[0].substr(44)) << "the first transmission is kept";
  EXPECT_GT(files[1].size(), files[0].size());
  EXPECT_LT(files[2].size(), files[0].size()) << "another rate starts the file afresh";
  for (const std::string& line : Take()) EXPECT_NE(line, "output opened") << "the card stays closed";
}

TEST_F(EngineSessionTest, ACardFilePttThatFailsIsShownAndTheTerminalStillHearsTheEnd) {
  machine.inputWorks = false;
  Start();
  EngineStatus status = Status();
  EXPECT_EQ(status.input + ": " + status.problem, "Input: none: no input card");
  for (bool pttFails : {true, false}) {
    machine.pttWorks = !pttFails;
    machine.outputWorks = pttFails;
    Send("RY");
    ASSERT_TRUE(PumpUntilEnd());
    EXPECT_EQ(Status().problem, pttFails ? "ptt 1 did not answer" : "no output card");
    EXPECT_EQ(Take(), pttFails ? (Journal{"ptt 1 on", "output opened", "audio", "echo R", "echo Y", "output closed",
                                          "ptt 1 off", "end"})
                               : (Journal{"ptt 1 on", "output opened", "echo R", "echo Y", "ptt 1 off", "end"}));
  }
  settings.rxFile = testing::TempDir() + "engine_session_short.wav";
  WriteSilence(settings.rxFile, 8000, 800);
  Apply();
  for (int pass = 0; pass < 20; ++pass, machine.now += 10) session->Pump();
  EXPECT_EQ(Status().problem, "the receive file has been played to its end");
}

}  // namespace
}  // namespace zk
