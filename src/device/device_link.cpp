#include "device/device_link.h"

#include <algorithm>
#include <cmath>

#include "base/escapes.h"
#include "base/fixed_text.h"

namespace zk {

namespace {

constexpr size_t kTncWorkSize = 500;
constexpr double kCommandCharSlackMs = 100;

// Whole milliseconds to wait for `ms` to pass; never 0, so a wait always makes progress.
int64_t WaitSpan(double ms) {
  const double up = std::ceil(ms);
  return up < 1.0 ? 1 : static_cast<int64_t>(up);
}

bool IsControlLine(PttLine line) { return line == PttLine::kRts || line == PttLine::kDtr; }

}  // namespace

void DeviceLink::PacedCodeWriter::WriteCodes(const uint8_t* codes, int count) { link_.WriteBytes(codes, count); }

// Window thread.

void DeviceLink::SwitchToTransmit() {
  rxFilter_.Reset();
  endRequested_ = false;
  const int64_t keyedAt = ApplyPtt(true);
  pttKeyedAtMs_ = (keyedAt >= 0 && settings_.options.pttDelayMs > 0) ? keyedAt : -1;

  const DeviceType device = settings_.serial.device;
  if (device == DeviceType::kEngine) {
    port_.EnginePost(engine::kMode, engine::kModeTransmit);
  } else if (device == DeviceType::kTerminalUnit) {
    if (port_.HasPort()) port_.Purge();
    // The writer sends the letters pair itself, so only its thread touches the
    // transmitting shift and the pair waits for the PTT delay like everything else.
    if (settings_.options.baudot) lettersPending_ = true;
  } else {
    SendTncString(settings_.tnc.transmit);
  }
  transmitting_ = true;
  // Woken only now, so a writer that looks at once already sees the station transmitting.
  if (device == DeviceType::kTerminalUnit && (settings_.options.baudot || settings_.options.diddle)) port_.WakeWriter();
}

void DeviceLink::SwitchToReceive() {
  transmitting_ = false;
  endRequested_ = false;
  rxFilter_.Reset();
  lettersPending_ = false;

  const DeviceType device = settings_.serial.device;
  const PttLine control = settings_.options.ptt;
  // A terminal unit's last characters are still on the line; the writer drops PTT once
  // they have gone, so the window thread never waits here. Within the PTT delay nothing
  // has gone out yet, and PTT falls at once.
  const bool releaseLater =
      device == DeviceType::kTerminalUnit && IsControlLine(control) && port_.HasPort() && !CancelPttDelay();
  if (releaseLater) {
    MarkPttRelease(control);
  } else {
    ApplyPtt(false);
  }

  if (device == DeviceType::kEngine) {
    port_.EnginePost(engine::kMode, engine::kModeReceive);
  } else {
    if (device == DeviceType::kTnc) SendTncString(settings_.tnc.receive);
    queue_.Flush();
  }
  if (releaseLater) port_.WakeWriter();
}

void DeviceLink::SetPtt(bool on) { ApplyPtt(on); }

int64_t DeviceLink::ApplyPtt(bool on) {
  const DeviceType device = settings_.serial.device;
  int64_t keyedAt = -1;
  {
    std::lock_guard<std::mutex> lock(pttMutex_);
    ++pttSequence_;
    releasePending_ = false;
    if (device != DeviceType::kEngine && device != DeviceType::kNone && port_.HasPort()) {
      const PttLine control = settings_.options.ptt;
      pttState_ = control != PttLine::kNone && on;
      if (IsControlLine(control)) {
        port_.SetControlLine(control, on);
        if (on && !lineUp_) lineUpSinceMs_ = port_.NowMs();
        lineUp_ = on;
        if (on) keyedAt = lineUpSinceMs_;
      }
    }
  }
  if (device == DeviceType::kEngine) {
    port_.LogPtt(on);
    pttState_ = on;
  } else if (device == DeviceType::kNone) {
    pttState_ = false;
  }
  return keyedAt;
}

void DeviceLink::MarkPttRelease(PttLine line) {
  std::lock_guard<std::mutex> lock(pttMutex_);
  releaseSequence_ = ++pttSequence_;
  releaseLine_ = line;
  releasePending_ = true;
  pttState_ = false;
}

void DeviceLink::SendTncString(const char* text) {
  if (!port_.HasPort()) return;
  char work[kTncWorkSize];
  EscapeContext context;
  context.transmitting = transmitting_;
  ParseEscapes(work, sizeof work, text, context, nullptr);
  port_.Purge();
  {
    std::lock_guard<std::mutex> lock(textMutex_);
    awaitedResponse_[0] = '\0';
  }
  queue_.Flush();

  // The parsed text ends at its first zero byte, an escaped zero included.
  const char* p = work;
  while (*p != '\0') {
    const char* chunkEnd = p;
    while (*chunkEnd != '\0' && *chunkEnd != '[') ++chunkEnd;
    const char* next = chunkEnd;
    if (*chunkEnd == '[') {
      const char* response = chunkEnd + 1;
      const char* responseEnd = response;
      while (*responseEnd != '\0' && *responseEnd != ']') ++responseEnd;
      {
        std::lock_guard<std::mutex> lock(textMutex_);
        CopyTextN(awaitedResponse_, sizeof awaitedResponse_, response, static_cast<size_t>(responseEnd - response));
      }
      next = *responseEnd == ']' ? responseEnd + 1 : responseEnd;
    }
    matcher_.Clear();
    for (const char* q = p; q < chunkEnd; ++q)
      if (!TransmitCommandChar(static_cast<uint8_t>(*q))) return;
    p = next;
  }
}

// Windows takes a character ahead of the driver's queue only once the one before it has
// gone out, and refuses it until then; Wine writes it at once. Each character is offered
// again until the line has had time for the one before, with some slack; a line that
// does not free by then (held by flow control, a port gone) loses the rest of the string
// rather than holding the window.
bool DeviceLink::TransmitCommandChar(uint8_t byte) {
  const double giveUpAt = static_cast<double>(port_.NowMs()) + 2 * CharacterMs() + kCommandCharSlackMs;
  while (!port_.TransmitChar(byte)) {
    if (static_cast<double>(port_.NowMs()) >= giveUpAt || !port_.WaitMs(WaitSpan(CharacterMs() / 2))) return false;
  }
  return true;
}

void DeviceLink::Reset() {
  {
    std::lock_guard<std::mutex> lock(textMutex_);
    awaitedResponse_[0] = '\0';
    armedCommand_[0] = '\0';
  }
  matcher_.Clear();
  rxFilter_.Reset();
  {
    std::lock_guard<std::mutex> lock(pttMutex_);
    ++pttSequence_;
    releasePending_ = false;
  }
  lettersPending_ = false;
  pttKeyedAtMs_ = -1;
}

std::string DeviceLink::awaitedResponse() const {
  std::lock_guard<std::mutex> lock(textMutex_);
  return awaitedResponse_;
}

std::string DeviceLink::armedCommand() const {
  std::lock_guard<std::mutex> lock(textMutex_);
  return armedCommand_;
}

double DeviceLink::CharacterMs() const {
  const int32_t baud = settings_.serial.baud;
  if (baud <= 0) return 0.0;
  int32_t dataBits = settings_.serial.dataBits;
  if (dataBits < 5 || dataBits > 8) dataBits = 8;
  const StopBits stop = settings_.serial.stopBits;
  const double stopBits = stop == StopBits::kOneAndHalf ? 1.5 : stop == StopBits::kTwo ? 2.0 : 1.0;
  const double bits = 1.0 + dataBits + (settings_.serial.parity != 0 ? 1.0 : 0.0) + stopBits;
  return bits * 1000.0 / baud;
}

// Writer thread.

bool DeviceLink::WriterStep() {
  if (releasePending_ && !ReleasePttWhenLineIsIdle()) return false;
  if (StepOnce()) return true;
  // A release marked while this step ran may have used up the wake-up: do it now.
  return releasePending_;
}

bool DeviceLink::ReleasePttWhenLineIsIdle() {
  for (;;) {
    if (!releasePending_) return true;
    const double left = lineFreeAtMs_ - static_cast<double>(port_.NowMs());
    if (left <= 0.0) break;
    if (!port_.WaitMs(WaitSpan(left))) return false;
  }
  std::lock_guard<std::mutex> lock(pttMutex_);
  if (releasePending_ && releaseSequence_ == pttSequence_) {
    port_.SetControlLine(releaseLine_, false);
    lineUp_ = false;
  }
  releasePending_ = false;
  return true;
}

bool DeviceLink::CancelPttDelay() {
  int64_t keyedAt = pttKeyedAtMs_.exchange(-1);
  return keyedAt >= 0 && port_.NowMs() < keyedAt + settings_.options.pttDelayMs;
}

bool DeviceLink::AwaitPttDelay() {
  for (;;) {
    int64_t keyedAt = pttKeyedAtMs_;
    if (keyedAt < 0) return true;
    const int64_t left = keyedAt + settings_.options.pttDelayMs - port_.NowMs();
    if (left > 0) {
      if (!port_.WaitMs(left)) return false;
      continue;
    }
    // A new keying meanwhile starts its own delay.
    if (pttKeyedAtMs_.compare_exchange_strong(keyedAt, -1)) return true;
  }
}

bool DeviceLink::WaitForLine() {
  const double half = CharacterMs() / 2.0;
  for (;;) {
    const double ahead = lineFreeAtMs_ - static_cast<double>(port_.NowMs());
    if (ahead <= half) return true;
    if (!port_.WaitMs(WaitSpan(ahead - half))) return false;
  }
}

bool DeviceLink::WriteBytes(const uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i) {
    if (!WaitForLine()) return false;
    const double now = static_cast<double>(port_.NowMs());
    // A failed write drops the byte; it takes no line time.
    if (port_.Write(bytes + i, 1)) lineFreeAtMs_ = std::max(lineFreeAtMs_, now) + CharacterMs();
  }
  return true;
}

bool DeviceLink::Diddling() const {
  // After the end mark the station is only waiting for the switch: nothing more goes out.
  return transmitting_ && !endRequested_ && settings_.serial.device == DeviceType::kTerminalUnit &&
         settings_.options.diddle != 0;
}

bool DeviceLink::StepOnce() {
  if (queue_.Empty() && !lettersPending_ && !Diddling()) return false;
  // Waiting before looking at the queue lets text typed meanwhile go ahead of an idle code.
  if (!AwaitPttDelay() || !WaitForLine()) return false;

  char c = 0;
  const bool haveChar = queue_.Peek(c);
  // Looked at after the queue: text queued after the switch implies the pair is seen.
  if (lettersPending_.exchange(false)) {
    PacedCodeWriter writer(*this);
    codec_.SyncLetters(writer);
    return true;
  }
  if (!haveChar) return SendIdle();
  switch (settings_.serial.device) {
    case DeviceType::kTerminalUnit: return StepTerminalUnit(c);
    case DeviceType::kEngine: return StepEngine(c);
    default: return StepTnc(c);
  }
}

bool DeviceLink::SendIdle() {
  if (!Diddling()) return false;
  uint8_t idle = ' ';
  if (settings_.options.baudot) {
    idle = kLtrs;
    codec_.NoteIdleCode();
  }
  return WriteBytes(&idle, 1);
}

void DeviceLink::ShowEcho(char c) {
  const uint8_t byte = static_cast<uint8_t>(c);
  port_.ShowInPane(&byte, 1, transmitting_ ? kSlotTransmitted : kSlotReceived);
}

bool DeviceLink::StepTerminalUnit(char c) {
  if (c == kEndOfTransmission && transmitting_) {
    endRequested_ = true;
    port_.RequestToggle();
    queue_.Flush();
    return false;
  }
  // Taken back or flushed since the peek: it must not go out.
  if (!queue_.Pop()) return true;
  ShowEcho(c);
  if ((static_cast<uint8_t>(c) & 0x7F) == ' ') c = ' ';
  if (settings_.options.baudot) {
    uint8_t codes[5];
    const int n = codec_.Encode(c, codes);
    return n > 0 ? WriteBytes(codes, n) : true;
  }
  const uint8_t byte = static_cast<uint8_t>(c);
  return WriteBytes(&byte, 1);
}

bool DeviceLink::StepEngine(char c) {
  if (c == kEndOfTransmission && transmitting_) {
    // Left at the head: the engine's end report flushes it.
    port_.EnginePost(engine::kMode, engine::kModeFinish);
    return false;
  }
  if (!queue_.Pop()) return true;
  port_.EnginePost(engine::kSend, static_cast<intptr_t>(static_cast<signed char>(c)));
  return true;
}

bool DeviceLink::StepTnc(char c) {
  if (!queue_.Pop()) return true;
  uint8_t byte = static_cast<uint8_t>(c);
  const uint8_t rxModeChar = settings_.tnc.receiveModeChar;
  if (settings_.tnc.command[0] != '\0' && (byte == rxModeChar || c == kEndOfTransmission)) {
    if (c == kEndOfTransmission && rxModeChar != 0) byte = rxModeChar;
    // Armed before the byte goes out, so a quick prompt is not missed.
    std::lock_guard<std::mutex> lock(textMutex_);
    CopyTextN(armedCommand_, sizeof armedCommand_, settings_.tnc.command, sizeof settings_.tnc.command);
  }
  return WriteBytes(&byte, 1);
}

// Reader thread.

void DeviceLink::HandleReceivedByte(uint8_t byte) {
  const DeviceType device = settings_.serial.device;
  if (device == DeviceType::kTerminalUnit) {
    if (transmitting_) return;
    if (settings_.options.baudot) {
      byte = static_cast<uint8_t>(codec_.Decode(byte, settings_.options.lettersOnSpace != 0));
    }
  } else if (device == DeviceType::kTnc) {
    WatchTnc(byte);
  }
  if (!rxFilter_.Accept(byte)) return;
  port_.ShowInPane(&byte, 1, transmitting_ ? kSlotTransmitted : kSlotReceived);
}

void DeviceLink::WatchTnc(uint8_t byte) {
  bool promptSeen = false;
  {
    std::lock_guard<std::mutex> lock(textMutex_);
    if (awaitedResponse_[0] != '\0') {
      if (matcher_.Step(byte, awaitedResponse_)) {
        awaitedResponse_[0] = '\0';
        matcher_.Clear();
      }
    } else if (armedCommand_[0] != '\0' && transmitting_) {
      if (matcher_.Step(byte, armedCommand_)) {
        armedCommand_[0] = '\0';
        matcher_.Clear();
        promptSeen = true;
      }
    }
  }
  // The TNC is back at its prompt: the window thread switches to receive.
  if (promptSeen) port_.RequestToggle();
}

}  // namespace zk
