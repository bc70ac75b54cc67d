#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "modem/wav.h"

namespace zk {
namespace {

void Put(std::string& b, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b.push_back(static_cast<char>(v >> (8 * i)));
}

std::string Chunk(const char* id, const std::string& body) {
  std::string c(id, 4);
  Put(c, static_cast<uint32_t>(body.size()), 4);
  c += body;
  if (body.size() % 2) c.push_back('\0');
  return c;
}

std::string Format(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bytes, bool extensible) {
  std::string f;
  Put(f, extensible ? 0xFFFE : tag, 2);
  Put(f, channels, 2);
  Put(f, rate, 4);
  Put(f, rate * channels * bytes, 4);
  Put(f, channels * bytes, 2);
  Put(f, bytes * 8, 2);
  if (extensible) {
    Put(f, 22, 2);
    Put(f, bytes * 8, 2);
    Put(f, 0, 4);
    Put(f, tag, 2);
    f += std::string(14, '\x01');
  }
  return f;
}

std::string Riff(const std::string& chunks) {
  std::string r = "RIFF";
  Put(r, static_cast<uint32_t>(chunks.size() + 4), 4);
  return r + "WAVE" + chunks;
}

// One frame: the first channel holds the value, the others its negation.
std::string Frame(double v, uint16_t tag, uint16_t bytes, uint16_t channels) {
  std::string s;
  for (int c = 0; c < channels; ++c) {
    const double x = c == 0 ? v : -v;
    if (tag == 3 && bytes == 4) {
      const float f = static_cast<float>(x);
      uint32_t u;
      std::memcpy(&u, &f, 4);
      Put(s, u, 4);
    } else if (tag == 3) {
      uint64_t u;
      std::memcpy(&u, &x, 8);
      Put(s, u, 8);
    } else if (bytes == 1) {
      Put(s, static_cast<uint32_t>(128 + x * 127), 1);
    } else {
      Put(s, static_cast<uint32_t>(static_cast<int32_t>(x * ((1u << (8 * bytes - 1)) - 1))), bytes);
    }
  }
  return s;
}

TEST(WavReader, EveryFormatGivesTheFirstChannel) {
  struct Case {
    uint16_t tag, bytes, channels;
    bool extensible, junkBefore;
  } cases[] = {{1, 2, 1, false, false}, {1, 2, 2, false, true},  {1, 3, 1, false, true},
               {1, 3, 2, true, false},  {1, 1, 1, false, false}, {1, 4, 1, false, false},
               {3, 4, 1, false, false}, {3, 4, 2, true, true},   {3, 8, 1, false, false}};
  const double values[] = {0.5, -0.25, 0.999, -1.0, 0.0};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "tag " << c.tag << " bytes " << c.bytes << " channels " << c.channels);
    std::string data;
    for (double v : values) data += Frame(v, c.tag, c.bytes, c.channels);
    const std::string junk = c.junkBefore ? Chunk("LIST", "odd") : "";
    std::istringstream in(Riff(Chunk("fmt ", Format(c.tag, c.channels, 11025, c.bytes, c.extensible)) + junk +
                               Chunk("data", data) + Chunk("LIST", "after")));
    WavReader wav;
    ASSERT_TRUE(wav.Open(in)) << wav.error();
    EXPECT_EQ(wav.format().sampleRate, 11025u);
    EXPECT_EQ(wav.format().channels, c.channels);
    float out[8];
    ASSERT_EQ(wav.Read(out, 8), 5u);
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(out[i], values[i], c.bytes == 1 ? 0.02 : 1e-4) << i;
    EXPECT_EQ(wav.Read(out, 8), 0u);
  }
}

TEST(WavReader, NamesWhatIsWrong) {
  const std::string fmt = Chunk("fmt ", Format(1, 1, 8000, 2, false));
  const std::string data = Chunk("data", Frame(0.5, 1, 2, 1));
  struct Case {
    std::string bytes, error;
  } cases[] = {
      {"", "not a WAV file"},
      {std::string("RIFF\x04\0\0\0AVI LIST", 16), "not a WAV file"},
      {Riff(""), "no format chunk"},
      {Riff(data + fmt), "sample data before the format chunk"},
      {Riff(Chunk("fmt ", "short")), "format chunk too short"},
      {Riff(Chunk("fmt ", Format(2, 1, 8000, 2, false)) + data), "neither PCM nor float"},
      {Riff(Chunk("fmt ", Format(1, 0, 8000, 2, false)) + data), "number of channels"},
      {Riff(Chunk("fmt ", Format(1, 1, 99, 2, false)) + data), "sample rate"},
      {Riff(Chunk("fmt ", Format(3, 1, 8000, 2, false)) + data), "sample size"},
      {Riff(fmt), "no sample data"},
      {Riff(fmt + std::string("LIST\xff\xff\0\0ab", 10)), "ends inside a chunk"},
  };
  for (const Case& c : cases) {
    std::istringstream in(c.bytes);
    WavReader wav;
    EXPECT_FALSE(wav.Open(in));
    EXPECT_NE(wav.error().find(c.error), std::string::npos) << wav.error() << " for " << c.error;
    float out[4];
    EXPECT_EQ(wav.Read(out, 4), 0u);
  }
}

TEST(WavReader, DataSizeBeyondTheFileStopsAtItsEnd) {
  std::string data = "data";
  Put(data, 0x7FFFFFF0, 4);
  data += Frame(0.5, 1, 2, 1) + Frame(-0.5, 1, 2, 1) + "\x01";  // and half a frame
  std::istringstream in(Riff(Chunk("fmt ", Format(1, 1, 8000, 2, false)) + data));
  WavReader wav;
  ASSERT_TRUE(wav.Open(in));
  float out[4];
  EXPECT_EQ(wav.Read(out, 4), 2u);
  EXPECT_EQ(wav.Read(out, 4), 0u);
}

TEST(WavWriter, WhatItWritesReadsBack) {
  const std::vector<float> samples = {0.0f, 0.5f, -0.5f, 1.0f, -1.0f, 0.123f};
  for (bool asFloat : {false, true}) {
    std::stringstream file;
    WavWriter out;
    ASSERT_TRUE(out.Open(file, 48000, asFloat));
    ASSERT_TRUE(out.Write(samples.data(), 4));
    ASSERT_TRUE(out.Write(samples.data() + 4, 2));
    ASSERT_TRUE(out.Close());
    EXPECT_EQ(file.str().size(), 44 + samples.size() * (asFloat ? 4 : 2));
    WavReader in;
    ASSERT_TRUE(in.Open(file)) << in.error();
    EXPECT_EQ(in.format().isFloat, asFloat);
    EXPECT_EQ(in.format().sampleRate, 48000u);
    float back[8];
    ASSERT_EQ(in.Read(back, 8), samples.size());
    for (size_t i = 0; i < samples.size(); ++i) EXPECT_NEAR(back[i], samples[i], asFloat ? 0 : 1.0 / 32767);
  }
}

}  // namespace
}  // namespace zk
