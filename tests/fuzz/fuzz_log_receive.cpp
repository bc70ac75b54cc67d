// Received log-link blocks are whatever another process sends; parsing them must stay
// inside the block and the buffers, and cutting must never change where a field ends.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "loglink/log_fields.h"

namespace {

constexpr char kUntouched = '\x7f';

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

// The field holds a terminator within its capacity and nothing past it was written.
void CheckField(const char* buf, size_t capacity, size_t bufSize) {
  Check(std::memchr(buf, '\0', capacity) != nullptr);
  for (size_t i = capacity; i < bufSize; ++i) Check(buf[i] == kUntouched);
}

bool IsPrefix(const char* cut, const char* full) { return std::strncmp(cut, full, std::strlen(cut)) == 0; }

// Reports are cut to their field, a call to the value buffer; the others carry no text.
void CheckActions(const char* block, size_t length) {
  std::vector<zk::LogAction> actions = zk::LogReceive(block, length);
  Check(actions.size() <= zk::kMaxLogActionsPerBlock);
  for (const zk::LogAction& a : actions) {
    const bool report = a.kind == zk::LogAction::SetMyRst || a.kind == zk::LogAction::SetHisRst;
    const size_t most = report                                ? zk::kRstSize - 1
                        : a.kind == zk::LogAction::SetCallBox ? zk::kLogFieldValueSize - 1
                                                              : 0;
    Check(a.text.size() <= most && a.text.find('\0') == std::string::npos);
  }
}

// Walks the block with tiny buffers and with full ones side by side.
void CheckWalk(const char* block, size_t length, size_t nameCap, size_t valueCap) {
  const char* e = block + length;
  const char* p = block;
  for (;;) {
    char name[4];
    char value[6];
    char fullName[zk::kLogFieldNameSize];
    char fullValue[zk::kLogFieldValueSize];
    std::memset(name, kUntouched, sizeof name);
    std::memset(value, kUntouched, sizeof value);
    const char* q = zk::NextLogField(p, e, name, nameCap, value, valueCap);
    const char* full = zk::NextLogField(p, e, fullName, sizeof fullName, fullValue, sizeof fullValue);
    Check(q == full);
    CheckField(name, nameCap, sizeof name);
    CheckField(value, valueCap, sizeof value);
    if (!q) return;
    Check(q > p && q <= e);
    Check(IsPrefix(name, fullName) && IsPrefix(value, fullValue));
    p = q;
  }
}

// A formatted field stays within its capacity and, when it fits, parses back whole.
void CheckFormatRoundTrip(const uint8_t* data, size_t size, size_t capacity) {
  const size_t nameLength = std::min<size_t>(size == 0 ? 0 : data[0] % 120, size);
  std::string name(reinterpret_cast<const char*>(data), nameLength);
  std::string value(reinterpret_cast<const char*>(data) + nameLength, size - nameLength);
  for (char& c : name)
    if (c == ':' || c == '>' || c == '\0') c = 'n';
  for (char& c : value)
    if (c == '\0') c = 'v';

  std::vector<char> out(capacity + 8, kUntouched);
  const int n = zk::FormatLogField(out.data(), capacity, name.c_str(), value.c_str());
  for (size_t i = capacity; i < out.size(); ++i) Check(out[i] == kUntouched);
  if (n < 0) {
    Check(out[0] == '\0');
    return;
  }
  Check(static_cast<size_t>(n) < capacity && std::strlen(out.data()) == static_cast<size_t>(n));
  char parsedName[zk::kLogFieldNameSize];
  char parsedValue[zk::kLogFieldValueSize];
  const char* end = out.data() + n;
  Check(zk::NextLogField(out.data(), end, parsedName, sizeof parsedName, parsedValue, sizeof parsedValue) == end);
  Check(name.compare(0, sizeof parsedName - 1, parsedName) == 0);
  Check(value.compare(0, sizeof parsedValue - 1, parsedValue) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t nameCap = 1 + data[0] % 3;
  const size_t valueCap = 1 + (data[0] / 3) % 5;
  // An exact-size copy, so reading one byte past the block is caught.
  std::vector<char> block(reinterpret_cast<const char*>(data) + 1, reinterpret_cast<const char*>(data) + size);
  const char* begin = block.empty() ? "" : block.data();
  CheckActions(begin, block.size());
  CheckWalk(begin, block.size(), nameCap, valueCap);
  CheckFormatRoundTrip(data + 1, size - 1, 1 + (size * 7 + data[0]) % 1100);
  return 0;
}
