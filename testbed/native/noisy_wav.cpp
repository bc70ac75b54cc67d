// noisy_wav IN.wav OUT.wav SNR_DB [LEAD [TRAIL [SEED]]]: the first channel of IN with white
// Gaussian noise at SNR_DB in 3 kHz (the clean signal's mean square over the whole file
// is the signal power), with LEAD and TRAIL seconds of noise alone before and after it; written as
// 16-bit PCM at IN's rate, scaled so nothing clips. Used by the end-to-end tests and the
// engine benchmark to make recordings from zkrtty's clean ones.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "channels/channels.h"
#include "modem/wav.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: noisy_wav IN.wav OUT.wav SNR_DB [LEAD [TRAIL [SEED]]]\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  zk::WavReader reader;
  if (!in || !reader.Open(in)) {
    std::fprintf(stderr, "noisy_wav: cannot read %s\n", argv[1]);
    return 1;
  }
  const double rate = reader.format().sampleRate;
  std::vector<float> clean;
  float block[4096];
  for (size_t n; (n = reader.Read(block, 4096)) > 0;) clean.insert(clean.end(), block, block + n);
  const double snrDb = std::atof(argv[3]);
  const size_t lead = static_cast<size_t>(rate * (argc > 4 ? std::atof(argv[4]) : 0));
  const size_t trail = static_cast<size_t>(rate * (argc > 5 ? std::atof(argv[5]) : 0));
  const uint64_t seed = argc > 6 ? std::strtoull(argv[6], nullptr, 10) : 1;

  const double variance = zk::channel::NoiseVariance(zk::channel::MeanSquare(clean), rate, snrDb);
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
