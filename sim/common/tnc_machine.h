#pragma once
#include <cstdint>
#include <string>
#include <utility>

namespace zk {
namespace sim {

struct TncConfig {
  std::string prompt = "cmd:";
  std::string txCommand = "X";
  std::string ack = "OK";
  uint8_t rxChar = 0x04;  // Ctrl-D, the usual "receive" character of multi-mode TNCs
};

// The command side of a multi-mode TNC in RTTY mode. In command mode it collects a line
// up to CR and answers it; the transmit command switches it to transmit, where every byte
// is sent on the air and echoed until the receive character brings the prompt back.
class TncMachine {
 public:
  enum class Event { kNone, kCommand, kEnterTransmit, kTransmitByte, kLeaveTransmit };

  static constexpr size_t kMaxCommandLine = 255;  // a longer line is cut

  explicit TncMachine(TncConfig config) : config_(std::move(config)) {}

  void PowerUp(std::string* reply) { reply->append(config_.prompt); }

  // One byte from the host; what the TNC says back is appended to *reply.
  Event Feed(uint8_t b, std::string* reply) {
    if (transmitting_) {
      if (b == config_.rxChar) {
        transmitting_ = false;
        AppendPrompt(reply);
        return Event::kLeaveTransmit;
      }
      reply->push_back(static_cast<char>(b));
      return Event::kTransmitByte;
    }
    switch (b) {
      case '\r': return EndLine(reply);
      case 0x03:  // Ctrl-C: abandon the line, show the prompt again
        line_.clear();
        AppendPrompt(reply);
        return Event::kNone;
      case 0x08:
      case 0x7F:
        if (!line_.empty()) line_.pop_back();
        return Event::kNone;
      default:
        if (b >= 0x20 && line_.size() < kMaxCommandLine) line_.push_back(static_cast<char>(b));
        return Event::kNone;  // LF and other control characters are not part of a command
    }
  }

  bool transmitting() const { return transmitting_; }
  const std::string& lastCommand() const { return lastCommand_; }

 private:
  Event EndLine(std::string* reply) {
    lastCommand_ = Trim(line_);
    line_.clear();
    if (lastCommand_.empty()) {
      AppendPrompt(reply);
      return Event::kNone;
    }
    reply->append(config_.ack);
    reply->append("\r\n");
    if (SameCommand(lastCommand_, config_.txCommand)) {
      transmitting_ = true;
      return Event::kEnterTransmit;
    }
    reply->append(config_.prompt);
    return Event::kCommand;
  }

  void AppendPrompt(std::string* reply) const {
    reply->append("\r\n");
    reply->append(config_.prompt);
  }

  static std::string Trim(const std::string& s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && s[b] == ' ') ++b;
    while (e > b && s[e - 1] == ' ') --e;
    return s.substr(b, e - b);
  }

  // TNC commands are not case sensitive.
  static bool SameCommand(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      char x = a[i];
      char y = b[i];
      if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
      if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
      if (x != y) return false;
    }
    return true;
  }

  TncConfig config_;
  std::string line_;
  std::string lastCommand_;
  bool transmitting_ = false;
};

}  // namespace sim
}  // namespace zk
