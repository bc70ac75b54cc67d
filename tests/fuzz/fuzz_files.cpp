// The settings file and a function-key file are outside input: every text field must end
// terminated, and what was read must survive a save and a fresh read unchanged.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/clean_line.h"
#include "messages/fkey_file.h"
#include "messages/fkey_set.h"
#include "settings/settings_file.h"

namespace {

using zk::Settings;
using zk::WindowLoc;

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

void CheckTerminated(const Settings& s) {
  zk::ForEachTextField(s, [](const char* field, size_t capacity) { Check(std::memchr(field, '\0', capacity)); });
}

// The built-in F1 text holds a carriage return that any pass through the file turns
// into a blank, so the fuzzed reading starts from the defaults as a saved file gives them.
Settings SavedDefaults() {
  Settings s = zk::DefaultSettings();
  const std::string text = zk::FormatSettings(s, WindowLoc{0, 0, 0, 0});
  zk::ReadSettingsText(s, text.data(), text.size(), nullptr, nullptr);
  return s;
}

void FuzzSettings(const char* text, size_t size) {
  static const Settings base = SavedDefaults();
  Settings s = base;
  WindowLoc loc{1, 2, 3, 4};
  bool haveLoc = false;
  zk::ReadSettingsText(s, text, size, &loc, &haveLoc);
  CheckTerminated(s);
  Check(haveLoc || (loc.left == 1 && loc.top == 2 && loc.right == 3 && loc.bottom == 4));

  const std::string first = zk::FormatSettings(s, loc);
  Check(std::count(first.begin(), first.end(), '\n') == 51);
  Settings fresh = zk::DefaultSettings();
  WindowLoc freshLoc{0, 0, 0, 0};
  bool freshHaveLoc = false;
  zk::ReadSettingsText(fresh, first.data(), first.size(), &freshLoc, &freshHaveLoc);
  CheckTerminated(fresh);
  Check(freshHaveLoc && zk::FormatSettings(fresh, freshLoc) == first);
}

template <size_t N>
bool Terminated(const char (&field)[N]) {
  return std::memchr(field, 0, N) != nullptr;
}

void CheckTerminated(const zk::FKeySet& set) {
  for (const auto& message : set.messages) Check(Terminated(message));
  Check(Terminated(set.hisRstFormat) && Terminated(set.exchangeFormat));
}

// The formats are written as they are and cleaned when read back.
bool ReadsBackAs(const char* written, const char* read) {
  std::string cleaned(written);
  zk::CleanLine(&cleaned[0]);
  return std::strcmp(cleaned.c_str(), read) == 0;
}

void FuzzFKeyFile(const char* text, size_t size) {
  zk::FKeySet set = zk::DefaultFKeySet();
  zk::LoadFKeyText(set, text, size);
  CheckTerminated(set);
  const std::string saved = zk::FKeyFileText(set);
  CheckTerminated(set);
  zk::FKeySet again = zk::DefaultFKeySet();
  zk::LoadFKeyText(again, saved.data(), saved.size());
  CheckTerminated(again);
  for (int i = 0; i < zk::kFKeyCount; ++i) Check(std::strcmp(again.messages[i], set.messages[i]) == 0);
  Check(again.repeatKey == set.repeatKey && again.repeatSeconds == set.repeatSeconds);
  Check(ReadsBackAs(set.hisRstFormat, again.hisRstFormat));
  Check(ReadsBackAs(set.exchangeFormat, again.exchangeFormat));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSettings(reinterpret_cast<const char*>(data), size);
  FuzzFKeyFile(reinterpret_cast<const char*>(data), size);
  return 0;
}
