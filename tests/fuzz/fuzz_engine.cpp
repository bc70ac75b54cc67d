// The engine program's outside input: its settings file, and messages with any code and
// value from any window.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine_rules.h"
#include "engine/engine_settings.h"

namespace {

// Traps on what the rules must never do: send while receiving, post to a window that
// never answered.
struct CheckingHost : zk::TerminalLink, zk::EngineHost {
  void Announce() override {}
  void Post(intptr_t window, uint32_t, intptr_t) override {
    if (window == 0 || window != rules->terminal()) __builtin_trap();
  }
  void Linked() override {}
  void Receive() override {}
  void Transmit() override {}
  void Finish() override {}
  void Send(char) override {
    if (rules->mode() == zk::EngineRules::Mode::kReceive) __builtin_trap();
  }
  void Exit() override {}
  zk::EngineRules* rules = nullptr;
};

// The file as read: a line that begins with a byte below 0x10 begins with the key that byte
// picks instead, so every setting, the newest too, meets values of every kind.
std::string SettingsText(const uint8_t* data, size_t size, const std::string& defaults) {
  std::vector<std::string> keys;
  for (size_t at = 0, end; (end = defaults.find('\n', at)) != std::string::npos; at = end + 1)
    keys.push_back(defaults.substr(at, defaults.find(' ', at) - at + 1));
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    const bool lineStart = i == 0 || data[i - 1] == '\n';
    if (lineStart && data[i] < 0x10) {
      text += keys[data[i] % keys.size()];
    } else {
      text += static_cast<char>(data[i]);
    }
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input = SettingsText(data, size, zk::FormatEngineSettings({}));
  zk::EngineSettings s;
  zk::ReadEngineSettingsText(s, input.data(), input.size());
  if (!zk::TonesFit(s) || !(s.squelchDb >= zk::kSquelchDbLow && s.squelchDb <= zk::kSquelchDbHigh)) __builtin_trap();
  const std::string text = zk::FormatEngineSettings(s);
  zk::EngineSettings again;
  zk::ReadEngineSettingsText(again, text.data(), text.size());
  if (zk::FormatEngineSettings(again) != text) __builtin_trap();

  CheckingHost host;
  zk::EngineRules rules(host, host, true);
  host.rules = &rules;
  rules.Start(0);
  for (size_t i = 0; i + 4 <= size; i += 4) {
    const uintptr_t code = data[i] < 0x20 ? data[i] % 16 : 0x8000u + data[i + 1];
    intptr_t value = static_cast<int8_t>(data[i + 2]) * 256 + data[i + 3];
    if (data[i] % 7 == 0) rules.Decoded(static_cast<char>(value));
    if (data[i] % 7 == 1) rules.Echoed(static_cast<char>(value));
    if (data[i] % 7 == 2) rules.TransmissionEnded();
    rules.Tick(static_cast<double>(i) * 50, value, data[i + 1] - 128);
    rules.Handle(code, value);
  }
  return 0;
}
