#pragma once
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace zk {

struct WavFormat {
  uint32_t sampleRate = 0;
  uint16_t channels = 0;
  uint16_t bitsPerSample = 0;  // as stored: 8, 16, 24, 32 or 64
  bool isFloat = false;
};

// Streams the first channel of a RIFF WAVE file as floats in [-1, 1]: 8-, 16-, 24- and 32-bit
// PCM and 32- and 64-bit float, plain or extensible. Memory stays bounded whatever the
// header claims.
class WavReader {
 public:
  // Reads up to the start of the sample data; false, with error(), when the stream is not
  // a WAV file this reader can play.
  bool Open(std::istream& in);
  // Reads up to maxFrames frames; returns how many, 0 at the end of the data.
  size_t Read(float* out, size_t maxFrames);

  const WavFormat& format() const { return format_; }
  const std::string& error() const { return error_; }

 private:
  bool Fail(const char* message);
  bool ReadFormat(uint32_t size);
  bool Skip(uint64_t bytes);
  float Convert(const uint8_t* p) const;

  std::istream* in_ = nullptr;
  WavFormat format_;
  uint32_t bytesPerSample_ = 0;
  uint32_t frameBytes_ = 0;
  uint64_t dataLeft_ = 0;
  std::vector<uint8_t> buffer_;
  std::string error_;
};

// Writes mono 16-bit PCM or 32-bit float; the sizes in the header are filled in by
// Checkpoint and Close when the stream can seek back.
class WavWriter {
 public:
  bool Open(std::ostream& out, uint32_t sampleRate, bool asFloat);
  bool Write(const float* samples, size_t n);
  // Brings the header's sizes up to what has been written and goes on at the end, so
  // the file is whole between one piece of audio and the next.
  bool Checkpoint();
  bool Close();

 private:
  void WriteHeader(uint32_t dataBytes);

  std::ostream* out_ = nullptr;
  uint32_t sampleRate_ = 0;
  bool float_ = false;
  uint64_t dataBytes_ = 0;
  std::vector<uint8_t> buffer_;
};

// A 16-bit WAV file on disk written piece by piece (one transmission after another),
// whole after every Checkpoint.
class WavFile {
 public:
  ~WavFile() { Close(); }
  // Starts the file afresh.
  bool Open(const std::string& path, uint32_t sampleRate);
  bool isOpen() const { return stream_.is_open(); }
  void Write(const float* samples, size_t n);
  void Checkpoint();
  void Close();

 private:
  std::ofstream stream_;
  WavWriter writer_;
};

}  // namespace zk
