#include <string>
#include <vector>

#include "channels/channels.h"

namespace zk {
namespace channel {

namespace {

const char* const kPrefixes[] = {"W",  "K",  "N",  "AA", "KB", "WA", "VE",  "G",  "M",  "DL", "DK", "F",  "I",  "EA",
                                 "OH", "SM", "LA", "OK", "SP", "UA", "YO",  "HA", "9A", "S5", "JA", "VK", "ZL", "PY",
                                 "LU", "ZS", "ON", "PA", "OZ", "EI", "HB9", "OE", "YU", "LZ", "UR", "4X"};
const char* const kNames[] = {"JOHN", "BOB",  "HANS", "PIERRE", "MARIO", "JOSE", "PETER", "ANNA",  "YURI",
                              "KEN",  "MIKE", "TOM",  "ERIK",   "JAN",   "LUIS", "DAVE",  "STEVE", "OLGA"};
const char* const kPlaces[] = {"BOSTON", "MUNICH", "LYON",  "ROME",   "MADRID", "HELSINKI", "OSLO",   "PRAGUE",
                               "WARSAW", "MOSCOW", "TOKYO", "SYDNEY", "DENVER", "TORONTO",  "DUBLIN", "VIENNA"};
const char* const kRigs[] = {"FT991", "IC7300", "TS590", "K3", "FLEX 6600", "IC7610", "FTDX10"};
const char* const kAntennas[] = {"DIPOLE", "3 EL YAGI", "VERTICAL", "G5RV", "LOOP", "HEX BEAM"};
const char* const kStates[] = {"MA", "TX", "CA", "OH", "NY", "FL", "ON", "QC", "WA", "CO"};

template <size_t N>
const char* PickFrom(Random& random, const char* const (&list)[N]) {
  return list[static_cast<size_t>(random.Uniform() * N)];
}

class Writer {
 public:
  explicit Writer(uint64_t seed) : random_(seed) {}

  int Pick(int n) { return static_cast<int>(random_.Uniform() * n); }
  template <size_t N>
  std::string Pick(const char* const (&list)[N]) {
    return list[Pick(static_cast<int>(N))];
  }

  std::string Call() { return CallSign(random_); }
  std::string Rst() { return std::string("5") + std::to_string(5 + Pick(5)) + "9"; }
  std::string Serial() {
    const std::string n = std::to_string(++serial_);
    return std::string(n.size() < 3 ? 3 - n.size() : 0, '0') + n;
  }

  std::string Cq() {
    const std::string me = Call();
    return "CQ CQ CQ DE " + me + " " + me + " " + me + " K";
  }
  std::string Answer() {
    const std::string him = Call(), me = Call();
    return him + " " + him + " DE " + me + " " + me + " " + me + " KN";
  }
  std::string Report() {
    const std::string rst = Rst(), name = Pick(kNames), qth = Pick(kPlaces);
    return "TNX FER CALL UR RST " + rst + " " + rst + " NAME " + name + " " + name + " QTH " + qth + " " + qth;
  }
  std::string Station() {
    return "RIG " + Pick(kRigs) + " PWR " + std::to_string(50 + 50 * Pick(8)) + "W ANT " + Pick(kAntennas) + " WX " +
           std::to_string(5 + Pick(25)) + "C";
  }
  std::string Contest() {
    const std::string him = Call(), rst = Rst();
    switch (Pick(3)) {
      case 0: {
        const std::string s = Serial();
        return him + " " + rst + " " + s + " " + s + " TU";
      }
      case 1: {
        const std::string st = Pick(kStates);
        return him + " " + rst + " " + st + " " + st;
      }
      default: return "CQ TEST " + Call() + " " + Call() + " TEST";
    }
  }
  std::string Closing() {
    const std::string him = Call(), me = Call();
    return "73 ES GL " + Pick(kNames) + " " + him + " DE " + me + " SK";
  }

 private:
  Random random_;
  int serial_ = 0;
};

}  // namespace

std::string CallSign(Random& random) {
  std::string call = PickFrom(random, kPrefixes) + std::to_string(static_cast<int>(random.Uniform() * 10));
  const int letters = 1 + static_cast<int>(random.Uniform() * 3);
  for (int i = 0; i < letters; ++i) call.push_back(static_cast<char>('A' + static_cast<int>(random.Uniform() * 26)));
  return call;
}

std::string TrafficText(size_t chars, uint64_t seed) {
  Writer w(seed);
  std::string text;
  while (text.size() < chars) {
    std::string line;
    switch (w.Pick(6)) {
      case 0: line = w.Cq(); break;
      case 1: line = w.Answer(); break;
      case 2: line = w.Report(); break;
      case 3: line = w.Station(); break;
      case 4: line = w.Contest(); break;
      default: line = w.Closing(); break;
    }
    text += line + "\n";
  }
  return text;
}

}  // namespace channel
}  // namespace zk
