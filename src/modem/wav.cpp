#include "modem/wav.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zk {

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr uint16_t kMaxChannels = 64;
constexpr int kMaxChunksBeforeData = 1000;
constexpr size_t kFramesPerRead = 4096;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

bool ReadBytes(std::istream& in, uint8_t* p, size_t n) {
  in.read(reinterpret_cast<char*>(p), static_cast<std::streamsize>(n));
  return static_cast<size_t>(in.gcount()) == n;
}

void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

}  // namespace

bool WavReader::Fail(const char* message) {
  error_ = message;
  dataLeft_ = 0;
  return false;
}

bool WavReader::Open(std::istream& in) {
  in_ = &in;
  format_ = WavFormat();
  dataLeft_ = 0;
  error_.clear();
  uint8_t riff[12];
  if (!ReadBytes(in, riff, 12) || std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
    return Fail("not a WAV file (no RIFF WAVE header)");
  for (int chunk = 0; chunk < kMaxChunksBeforeData; ++chunk) {
    uint8_t head[8];
    if (!ReadBytes(in, head, 8)) return Fail(format_.channels ? "no sample data" : "no format chunk");
    const uint32_t size = Le32(head + 4);
    if (std::memcmp(head, "fmt ", 4) == 0) {
      if (!ReadFormat(size)) return false;
    } else if (std::memcmp(head, "data", 4) == 0) {
      if (format_.channels == 0) return Fail("sample data before the format chunk");
      // A streamed file may say 0 or the largest size: then the data runs to the end.
      dataLeft_ = (size == 0 || size == 0xFFFFFFFF) ? UINT64_MAX : size;
      return true;
    } else if (!Skip(static_cast<uint64_t>(size) + (size & 1))) {  // odd chunks carry a pad byte
      return Fail("the file ends inside a chunk");
    }
  }
  return Fail("too many chunks before the sample data");
}

bool WavReader::ReadFormat(uint32_t size) {
  if (size < 16) return Fail("format chunk too short");
  uint8_t f[40] = {};
  const uint32_t keep = std::min<uint32_t>(size, sizeof f);
  if (!ReadBytes(*in_, f, keep) || !Skip(size - keep + (size & 1)))
    return Fail("the file ends inside the format chunk");
  uint16_t tag = Le16(f);
  if (tag == kFormatExtensible && keep >= 26) tag = Le16(f + 24);  // the sub-format GUID starts with it
  format_.channels = Le16(f + 2);
  format_.sampleRate = Le32(f + 4);
  const uint16_t blockAlign = Le16(f + 12);
  format_.bitsPerSample = Le16(f + 14);
  if (tag != kFormatPcm && tag != kFormatFloat) return Fail("samples are neither PCM nor float");
  if (format_.channels == 0 || format_.channels > kMaxChannels) return Fail("unsupported number of channels");
  if (format_.sampleRate < 1000 || format_.sampleRate > 1000000) return Fail("unsupported sample rate");
  if (blockAlign == 0 || blockAlign % format_.channels != 0) return Fail("inconsistent block size");
  bytesPerSample_ = blockAlign / format_.channels;
  format_.isFloat = tag == kFormatFloat;
  const bool pcmOk = !format_.isFloat && bytesPerSample_ >= 1 && bytesPerSample_ <= 4;
  const bool floatOk = format_.isFloat && (bytesPerSample_ == 4 || bytesPerSample_ == 8);
  if (!pcmOk && !floatOk) return Fail("unsupported sample size");
  format_.bitsPerSample = static_cast<uint16_t>(bytesPerSample_ * 8);
  frameBytes_ = blockAlign;
  return true;
}

bool WavReader::Skip(uint64_t bytes) {
  if (bytes == 0) return true;
  in_->ignore(static_cast<std::streamsize>(bytes));
  return static_cast<uint64_t>(in_->gcount()) == bytes;
}

float WavReader::Convert(const uint8_t* p) const {
  if (format_.isFloat) {
    if (bytesPerSample_ == 4) {
      uint32_t bits = Le32(p);
      float v;
      std::memcpy(&v, &bits, sizeof v);
      return v;
    }
    const uint64_t bits = Le32(p) | (static_cast<uint64_t>(Le32(p + 4)) << 32);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return static_cast<float>(v);
  }
  switch (bytesPerSample_) {
    case 1: return (static_cast<float>(p[0]) - 128.0f) / 128.0f;
    case 2: return static_cast<float>(static_cast<int16_t>(Le16(p))) / 32768.0f;
    case 3:
      return static_cast<float>(static_cast<int32_t>((static_cast<uint32_t>(p[0]) << 8) |
                                                     (static_cast<uint32_t>(p[1]) << 16) |
                                                     (static_cast<uint32_t>(p[2]) << 24))) /
             2147483648.0f;
    default: return static_cast<float>(static_cast<int32_t>(Le32(p))) / 2147483648.0f;
  }
}

size_t WavReader::Read(float* out, size_t maxFrames) {
  if (in_ == nullptr || frameBytes_ == 0 || dataLeft_ < frameBytes_) return 0;
  size_t frames = static_cast<size_t>(std::min<uint64_t>({maxFrames, kFramesPerRead, dataLeft_ / frameBytes_}));
  buffer_.resize(frames * frameBytes_);
  in_->read(reinterpret_cast<char*>(buffer_.data()), static_cast<std::streamsize>(buffer_.size()));
  frames = static_cast<size_t>(in_->gcount()) / frameBytes_;
  dataLeft_ = frames == 0 ? 0 : dataLeft_ - frames * frameBytes_;
  for (size_t i = 0; i < frames; ++i) out[i] = Convert(&buffer_[i * frameBytes_]);
  return frames;
}

bool WavWriter::Open(std::ostream& out, uint32_t sampleRate, bool asFloat) {
  out_ = &out;
  sampleRate_ = sampleRate;
  float_ = asFloat;
  dataBytes_ = 0;
  WriteHeader(0xFFFFFFFF - 44);
  return static_cast<bool>(out);
}

void WavWriter::WriteHeader(uint32_t dataBytes) {
  const uint32_t bytes = float_ ? 4 : 2;
  std::vector<uint8_t> h;
  h.insert(h.end(), {'R', 'I', 'F', 'F'});
  Put32(h, dataBytes + 36);
  h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Put32(h, 16);
  Put16(h, float_ ? kFormatFloat : kFormatPcm);
  Put16(h, 1);
  Put32(h, sampleRate_);
  Put32(h, sampleRate_ * bytes);
  Put16(h, bytes);
  Put16(h, bytes * 8);
  h.insert(h.end(), {'d', 'a', 't', 'a'});
  Put32(h, dataBytes);
  out_->write(reinterpret_cast<const char*>(h.data()), static_cast<std::streamsize>(h.size()));
}

bool WavWriter::Write(const float* samples, size_t n) {
  buffer_.clear();
  for (size_t i = 0; i < n; ++i) {
    const float x = std::isfinite(samples[i]) ? samples[i] : 0.0f;
    if (float_) {
      uint32_t bits;
      std::memcpy(&bits, &x, sizeof bits);
      Put32(buffer_, bits);
    } else {
      const float scaled = std::round(std::max(-1.0f, std::min(1.0f, x)) * 32767.0f);
      Put16(buffer_, static_cast<uint16_t>(static_cast<int16_t>(scaled)));
    }
  }
  out_->write(reinterpret_cast<const char*>(buffer_.data()), static_cast<std::streamsize>(buffer_.size()));
  dataBytes_ += buffer_.size();
  return static_cast<bool>(*out_);
}

bool WavWriter::Checkpoint() {
  if (out_ == nullptr) return false;
  const bool ok = static_cast<bool>(*out_);
  // Sizes past 4 GB cannot be written; the reader then takes the data to the end of the file.
  const uint32_t size = dataBytes_ > 0xFFFFFFFFull - 44 ? 0xFFFFFFFF - 44 : static_cast<uint32_t>(dataBytes_);
  out_->seekp(0);
  if (*out_) {
    WriteHeader(size);
    out_->seekp(0, std::ios::end);
  }
  out_->clear();  // a stream that cannot seek keeps the provisional sizes
  out_->flush();
  return ok && static_cast<bool>(*out_);
}

bool WavWriter::Close() {
  const bool ok = Checkpoint();
  out_ = nullptr;
  return ok;
}

bool WavFile::Open(const std::string& path, uint32_t sampleRate) {
  Close();
  stream_.open(path, std::ios::binary | std::ios::trunc);
  return stream_.is_open() && writer_.Open(stream_, sampleRate, false);
}

void WavFile::Write(const float* samples, size_t n) {
  if (stream_.is_open() && n > 0) writer_.Write(samples, n);
}

void WavFile::Checkpoint() {
  if (stream_.is_open()) writer_.Checkpoint();
}

void WavFile::Close() {
  if (!stream_.is_open()) return;
  writer_.Close();
  stream_.close();
}

}  // namespace zk
