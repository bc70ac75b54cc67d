#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/escapes.h"
#include "messages/compose.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

// The input is the flags byte, then zero-separated texts; missing texts are empty.
std::vector<std::string> SplitFields(const uint8_t* data, size_t size, size_t count) {
  std::vector<std::string> fields(count);
  size_t field = 0;
  for (size_t i = 0; i < size && field < count; ++i) {
    if (data[i] == 0)
      ++field;
    else
      fields[field] += static_cast<char>(data[i]);
  }
  return fields;
}

// Runs a cut-at-capacity writer at several capacities: every result is terminated,
// within its capacity, and a prefix of the roomiest one.
template <typename Write>
void CheckCapacities(Write write) {
  std::string full;
  for (size_t capacity : {10000, 64, 7, 3, 2, 1, 0}) {
    std::unique_ptr<char[]> out(new char[capacity]);  // exact size, so ASan sees overruns
    const size_t n = write(out.get(), capacity);
    if (capacity == 0) {
      Check(n == 0);
      continue;
    }
    Check(n < capacity && out[n] == '\0' && std::strlen(out.get()) == n);
    if (capacity == 10000)
      full.assign(out.get(), n);
    else
      Check(full.compare(0, n, out.get(), n) == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  std::vector<std::string> f = SplitFields(data + 1, size - 1, 11);
  const std::string& message = f[0];

  zk::ComposeContext context;
  context.macros.myCall = f[1].c_str();
  context.macros.callBox = f[2].c_str();
  context.macros.hisRst = f[3].c_str();
  context.macros.myRst = f[4].c_str();
  context.macros.hisRstFormat = f[5].c_str();
  context.macros.exchangeFormat = f[6].c_str();
  context.ignore = f[7].c_str();
  context.startDirectory = f[8].c_str();
  context.transmitting = (flags & 1) != 0;
  const std::string& fileBody = f[9];
  const std::string prefix = f[8] + "\\";
  context.readFile = [&](const char* path, std::string& body) {
    Check(std::strlen(path) < zk::kMessagePathSize && std::strncmp(path, prefix.c_str(), prefix.size()) == 0);
    body = fileBody;
    return (flags & 2) != 0 ? zk::FileRead::kRead : zk::FileRead::kNothing;
  };

  // Bounded, and never a zero, a line feed or the start-of-transmission byte in the pane.
  zk::ComposeResult result = zk::ComposeMessage(message.c_str(), context);
  Check(result.text.size() <= zk::kComposeBufferSize);
  for (char ch : result.text) Check(ch != '\0' && ch != '\n' && ch != zk::kStartOfTransmission);

  CheckCapacities(
      [&](char* out, size_t capacity) { return zk::ApplyReportFormat(out, capacity, f[3].c_str(), f[5].c_str()); });
  CheckCapacities([&](char* out, size_t capacity) {
    bool log = false;
    return zk::ExpandMacros(f[10].c_str(), out, capacity, context.macros, &log);
  });
  CheckCapacities([&](char* out, size_t capacity) {
    if (!zk::FKeyLabel(message.c_str(), out, capacity)) {
      if (capacity > 0) out[0] = '\0';
      return size_t{0};
    }
    return capacity > 0 ? std::strlen(out) : size_t{0};
  });

  const char* found = zk::FindNoCase(message.c_str(), f[1].c_str());
  Check(!found || (found >= message.c_str() && found + f[1].size() <= message.c_str() + message.size()));
  return 0;
}
