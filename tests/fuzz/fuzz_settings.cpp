#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "settings/settings_file.h"

namespace {

using zk::Settings;
using zk::WindowLoc;

void RequireAllTerminated(const Settings& s) {
  zk::ForEachTextField(s, [](const char* field, size_t capacity) {
    if (!std::memchr(field, '\0', capacity)) __builtin_trap();
  });
}

size_t CountLines(const std::string& text) {
  size_t lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

// The built-in F1 text holds a carriage return that any pass through the file turns
// into a blank, so the fuzzed reading starts from the defaults as a saved file gives them.
Settings SavedDefaults() {
  Settings s = zk::DefaultSettings();
  const std::string text = zk::FormatSettings(s, WindowLoc{0, 0, 0, 0});
  zk::ReadSettingsText(s, text.data(), text.size(), nullptr, nullptr);
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Settings base = SavedDefaults();
  Settings s = base;
  WindowLoc loc{1, 2, 3, 4};
  bool haveLoc = false;
  zk::ReadSettingsText(s, reinterpret_cast<const char*>(data), size, &loc, &haveLoc);
  RequireAllTerminated(s);
  if (!haveLoc && (loc.left != 1 || loc.top != 2 || loc.right != 3 || loc.bottom != 4))
    __builtin_trap();

  // Whatever was read must survive a save and a fresh read unchanged.
  const std::string first = zk::FormatSettings(s, loc);
  if (CountLines(first) != 51) __builtin_trap();
  Settings fresh = zk::DefaultSettings();
  WindowLoc freshLoc{0, 0, 0, 0};
  bool freshHaveLoc = false;
  zk::ReadSettingsText(fresh, first.data(), first.size(), &freshLoc, &freshHaveLoc);
  RequireAllTerminated(fresh);
  if (!freshHaveLoc) __builtin_trap();
  if (zk::FormatSettings(fresh, freshLoc) != first) __builtin_trap();
  return 0;
}
