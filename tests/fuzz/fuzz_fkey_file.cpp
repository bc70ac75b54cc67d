#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "messages/fkey_file.h"
#include "messages/fkey_set.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

template <size_t N>
void CheckTerminated(const char (&field)[N]) {
  Check(std::memchr(field, 0, N) != nullptr);
}

void CheckSet(const zk::FKeySet& set) {
  for (const auto& message : set.messages) CheckTerminated(message);
  CheckTerminated(set.hisrstformat);
  CheckTerminated(set.exchangeformat);
}

// A saved format is cleaned when it is read back: trailing blanks and controls go.
std::string Trimmed(const char* text) {
  std::string s(text);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) s.pop_back();
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zk::FKeySet set = zk::DefaultFKeySet();
  zk::LoadFKeyText(set, reinterpret_cast<const char*>(data), size);
  CheckSet(set);

  // What a file says must read back as the same set.
  std::string text = zk::FKeyFileText(set);
  CheckSet(set);
  zk::FKeySet again = zk::DefaultFKeySet();
  zk::LoadFKeyText(again, text.data(), text.size());
  CheckSet(again);
  for (int i = 0; i < zk::kFKeyCount; ++i) Check(std::strcmp(again.messages[i], set.messages[i]) == 0);
  Check(again.repeatfkey == set.repeatfkey && again.repeatsec == set.repeatsec);
  Check(Trimmed(set.hisrstformat) == again.hisrstformat);
  Check(Trimmed(set.exchangeformat) == again.exchangeformat);
  return 0;
}
