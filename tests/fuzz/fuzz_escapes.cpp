#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/baudot.h"
#include "base/escapes.h"
#include "device/rx_filter.h"
#include "device/tnc_match.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

void FuzzEscapes(const char* text, size_t length) {
  for (bool transmitting : {false, true}) {
    zk::EscapeContext ctx;
    ctx.transmitting = transmitting;
    std::string widest;
    for (size_t capacity : {500, 17, 2, 1}) {
      // Exactly the capacity on the heap, so a write past it is caught.
      std::unique_ptr<char[]> out(new char[capacity]);
      zk::EscapeEffects fx;
      const size_t n = zk::ParseEscapes(out.get(), capacity, text, ctx, &fx);
      Check(n < capacity);
      Check(out[n] == '\0');
      Check(n <= length);  // no escape yields more bytes than it is written with
      if (capacity == 500) {
        widest.assign(out.get(), n);
      } else {
        // A smaller buffer holds a prefix of what a larger one holds.
        Check(n == std::min(widest.size(), capacity - 1));
        Check(std::memcmp(out.get(), widest.data(), n) == 0);
      }
      if (transmitting) {
        // "\t" gives nothing while transmitting; 0x17 can come only from the text or "\x".
        for (size_t i = 0; i < n; ++i) {
          if (out[i] == zk::kStartOfTransmission) {
            Check(std::memchr(text, zk::kStartOfTransmission, length) != nullptr ||
                  std::strpbrk(text, "xX") != nullptr);
          }
        }
      }
    }
  }
}

bool IsShiftOrBlank(uint8_t code) { return code == 0 || code == 31 || code == 27; }

void FuzzBaudot(const uint8_t* data, size_t size) {
  zk::BaudotCodec rx;
  for (size_t i = 0; i < size; ++i) {
    const char ch = rx.Decode(data[i], (data[i] & 0x80) != 0);
    const uint8_t code = data[i] & 0x1F;
    Check((ch == 0) == IsShiftOrBlank(code));
    Check(ch != 0x7F && ch != 0x1B && ch != 0x1F);
    if (code == 27) Check(rx.rxFigures());
    if (code == 31 || code == 8 || code == 2) Check(!rx.rxFigures());
  }

  // The encoder's codes, fed to a decoder that follows the same shifts, print the
  // character back (upper-cased), or "." for one without a code of its own.
  zk::BaudotCodec tx;
  zk::BaudotCodec farEnd;
  for (size_t i = 0; i < size; ++i) {
    uint8_t out[5];
    std::memset(out, 0xEE, sizeof out);
    const int n = tx.Encode(static_cast<char>(data[i]), out);
    Check(n >= 0 && n <= 4);
    Check(out[n] == 0);
    for (int k = 0; k < n; ++k) Check(out[k] < 32);
    uint8_t u = data[i];
    if (u >= 'a' && u <= 'z') u = static_cast<uint8_t>(u - 32);
    Check((n == 0) == (u == 0 || u > 'Z'));

    std::string printed;
    for (int k = 0; k < n; ++k) {
      const char c = farEnd.Decode(out[k], false);
      if (c != 0) printed += c;
    }
    if (n == 0) {
      Check(printed.empty());
    } else if (u == '\r' || u == '\n') {
      Check(printed == "\r\n");
    } else if (u == 0x07) {
      Check(printed == " ");  // the bell prints as a space
    } else if (u != 0x1B && u != 0x1F) {
      const bool ownCode = (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
                           std::strchr(" !\"#$&'(),-./:;?", u) != nullptr;
      Check(printed == std::string(1, ownCode ? static_cast<char>(u) : '.'));
    }
    // ESC and US are sent as the bare shift codes; bring the far end back in step.
    if (farEnd.rxFigures() != tx.txFigures()) farEnd.Decode(tx.txFigures() ? 27 : 31, false);
  }
}

void FuzzMatchAndFilter(const uint8_t* data, size_t size) {
  if (size == 0) return;
  // The first byte chooses how many of the following bytes form the awaited text.
  const size_t textLength = std::min<size_t>(data[0] % 8, size - 1);
  std::string text(reinterpret_cast<const char*>(data + 1), textLength);
  text = text.c_str();  // a text ends at its first zero
  zk::TncMatcher matcher;
  std::string sinceClear;
  zk::RxFilter filter;
  uint8_t lastKept = 0;
  for (size_t i = 0; i < size; ++i) {
    const uint8_t b = data[i];
    sinceClear += static_cast<char>(b);
    bool expected = !text.empty() && sinceClear.size() >= text.size();
    for (size_t k = 0; expected && k < text.size(); ++k) {
      uint8_t got = static_cast<uint8_t>(sinceClear[sinceClear.size() - text.size() + k]);
      uint8_t want = static_cast<uint8_t>(text[k]);
      if (got >= 'a' && got <= 'z') got = static_cast<uint8_t>(got - 32);
      if (want >= 'a' && want <= 'z') want = static_cast<uint8_t>(want - 32);
      expected = got == want;
    }
    const bool matched = matcher.Step(b, text.c_str());
    Check(matched == expected);
    if (matched) {
      matcher.Clear();
      sinceClear.clear();
    }

    const bool kept = filter.Accept(b);
    Check(kept == (b != 0 && !(b == '\r' && lastKept == '\r')));
    if (kept) lastKept = b;
    Check(filter.last() == lastKept);
    if (b == 0x17) {
      filter.Reset();
      lastKept = 0;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> text(data, data + size);
  text.push_back('\0');
  FuzzEscapes(text.data(), std::strlen(text.data()));
  FuzzBaudot(data, size);
  FuzzMatchAndFilter(data, size);
  return 0;
}
