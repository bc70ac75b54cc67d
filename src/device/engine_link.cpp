#include "device/engine_link.h"

#include <cstdio>

#include "device/device_link.h"

namespace zk {

EngineAction EngineLink::Handle(uintptr_t code, intptr_t value, bool transmitting) {
  EngineAction action;
  switch (code) {
    case engine::kAnnounce:
      action.kind = EngineAction::kLinked;
      action.window = value;
      return action;
    case engine::kReceived: return Received(static_cast<uint8_t>(value & 0xFF), transmitting);
    case engine::kTransmitDone:
      // Only the report of a finished transmission; a stray one while receiving is not.
      if (value == 0 && transmitting) action.kind = EngineAction::kTransmissionDone;
      return action;
    case engine::kMarkReport:
      value2_ = static_cast<int32_t>(value);
      action.kind = EngineAction::kCaption;
      return action;
    case engine::kSnrReport:
      value1_ = static_cast<int32_t>(value);
      action.kind = EngineAction::kCaption;
      return action;
    default: return action;
  }
}

// While transmitting the engine echoes what it sends: shown as it comes, zeros and
// repeated carriage returns included, so the echo matches what went out.
EngineAction EngineLink::Received(uint8_t c, bool transmitting) {
  EngineAction action;
  if (transmitting) {
    filter_.Note(c);
  } else if (!filter_.Accept(c)) {
    return action;
  }
  action.kind = EngineAction::kShow;
  action.byte = c;
  action.slot = transmitting ? kSlotTransmitted : kSlotReceived;
  return action;
}

std::string EngineLink::Caption() const {
  char text[48];
  std::snprintf(text, sizeof text, "MMTTY     (%d,%d)", static_cast<int>(value1_), static_cast<int>(value2_));
  return text;
}

}  // namespace zk
