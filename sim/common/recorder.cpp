#include "common/recorder.h"

namespace zk {
namespace sim {
namespace {

bool OpenAppend(const char* path, FILE** file) {
  if (!path || !*path) return true;
  *file = std::fopen(path, "ab");
  return *file != nullptr;
}

}  // namespace

Recorder::~Recorder() {
  if (text_) std::fclose(text_);
  if (raw_) std::fclose(raw_);
}

bool Recorder::OpenText(const char* path) { return OpenAppend(path, &text_); }

bool Recorder::OpenRaw(const char* path) { return OpenAppend(path, &raw_); }

void Recorder::Text(char c) {
  if (!text_) return;
  std::fputc(static_cast<unsigned char>(c), text_);
  std::fflush(text_);
}

void Recorder::Raw(int64_t tMs, uint8_t code) {
  if (!raw_) return;
  std::fprintf(raw_, "%lld %02x\n", static_cast<long long>(tMs), static_cast<unsigned>(code));
  std::fflush(raw_);
}

}  // namespace sim
}  // namespace zk
