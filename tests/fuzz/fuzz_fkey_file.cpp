// A function-key file is outside input: every field must end terminated, and what the
// file says must read back as the same set.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/clean_line.h"
#include "messages/fkey_file.h"
#include "messages/fkey_set.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

template <size_t N>
bool Terminated(const char (&field)[N]) {
  return std::memchr(field, 0, N) != nullptr;
}

void CheckSet(const zk::FKeySet& set) {
  for (const auto& message : set.messages) Check(Terminated(message));
  Check(Terminated(set.hisRstFormat) && Terminated(set.exchangeFormat));
}

// The formats are written as they are and cleaned when read back.
bool ReadsBackAs(const char* written, const char* read) {
  std::string cleaned(written);
  zk::CleanLine(&cleaned[0]);
  return std::strcmp(cleaned.c_str(), read) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zk::FKeySet set = zk::DefaultFKeySet();
  zk::LoadFKeyText(set, reinterpret_cast<const char*>(data), size);
  CheckSet(set);

  const std::string text = zk::FKeyFileText(set);
  CheckSet(set);
  zk::FKeySet again = zk::DefaultFKeySet();
  zk::LoadFKeyText(again, text.data(), text.size());
  CheckSet(again);
  for (int i = 0; i < zk::kFKeyCount; ++i) Check(std::strcmp(again.messages[i], set.messages[i]) == 0);
  Check(again.repeatKey == set.repeatKey && again.repeatSeconds == set.repeatSeconds);
  Check(ReadsBackAs(set.hisRstFormat, again.hisRstFormat));
  Check(ReadsBackAs(set.exchangeFormat, again.exchangeFormat));
  return 0;
}
