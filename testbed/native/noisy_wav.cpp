// noisy_wav IN.wav[,IN2.wav...] OUT.wav SNR_DB [LEAD [TRAIL [SEED]]]: the first channel of IN
// (of several, their sum, as stations heard together) with white Gaussian noise at SNR_DB in
// 3 kHz (the clean signal's mean square over the whole file is the signal power; of several,
// their mean, so stations of one level each have SNR_DB), with LEAD and TRAIL seconds of
// noise alone before and after it; written as 16-bit PCM at IN's rate, scaled so nothing
// clips. Used by the end-to-end tests and the engine benchmark to make recordings from
// zkrtty's clean ones.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "channels/channels.h"
#include "modem/wav.h"

int main(int argc, char** argv) {
  if (argc < 4 || !*argv[1]) {
    std::fprintf(stderr, "usage: noisy_wav IN.wav[,IN2.wav...] OUT.wav SNR_DB [LEAD [TRAIL [SEED]]]\n");
    return 2;
  }
  std::vector<float> clean;
  double rate = 0, power = 0;
  int inputs = 0;
  for (std::string names = argv[1]; !names.empty(); ++inputs) {
    const std::string name = names.substr(0, names.find(','));
    names.erase(0, name.size() + 1);
    std::ifstream in(name, std::ios::binary);
    zk::WavReader reader;
    if (!in || !reader.Open(in) || (rate != 0 && rate != reader.format().sampleRate)) {
      std::fprintf(stderr, "noisy_wav: cannot read %s, or not at the first one's rate\n", name.c_str());
      return 1;
    }
    rate = reader.format().sampleRate;
    std::vector<float> one;
    float block[4096];
    for (size_t n; (n = reader.Read(block, 4096)) > 0;) one.insert(one.end(), block, block + n);
    power += zk::channel::MeanSquare(one);
    clean.resize(std::max(clean.size(), one.size()), 0.0f);
    for (size_t i = 0; i < one.size(); ++i) clean[i] += one[i];
  }
  const double snrDb = std::atof(argv[3]);
  const size_t lead = static_cast<size_t>(rate * (argc > 4 ? std::atof(argv[4]) : 0));
  const size_t trail = static_cast<size_t>(rate * (argc > 5 ? std::atof(argv[5]) : 0));
  const uint64_t seed = argc > 6 ? std::strtoull(argv[6], nullptr, 10) : 1;

  const double variance = zk::channel::NoiseVariance(power / inputs, rate, snrDb);
  std::vector<float> x(lead, 0.0f);
  x.insert(x.end(), clean.begin(), clean.end());
  x.insert(x.end(), trail, 0.0f);
  zk::channel::AddNoise(x, variance, seed);
  float peak = 0;
  for (float v : x) peak = std::max(peak, std::fabs(v));
  if (peak > 0.9f)
    for (float& v : x) v *= 0.9f / peak;

  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  zk::WavWriter writer;
  if (!out || !writer.Open(out, static_cast<uint32_t>(rate), false) || !writer.Write(x.data(), x.size()) ||
      !writer.Close()) {
    std::fprintf(stderr, "noisy_wav: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
