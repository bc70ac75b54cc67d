#include "device/engine_link.h"

#include <gtest/gtest.h>

#include <string>

namespace zk {
namespace {

// What one message from the engine asks for, as "linked 1234", "show 65/1", "done",
// "caption MMTTY     (7,0)" or "" for nothing.
std::string Handle(EngineLink& link, uintptr_t code, intptr_t value, bool transmitting) {
  const EngineAction a = link.Handle(code, value, transmitting);
  switch (a.kind) {
    case EngineAction::kLinked: return "linked " + std::to_string(a.window);
    case EngineAction::kShow: return "show " + std::to_string(a.byte) + "/" + std::to_string(a.slot);
    case EngineAction::kTransmissionDone: return "done";
    case EngineAction::kCaption: return "caption " + link.Caption();
    case EngineAction::kNone: break;
  }
  return "";
}

TEST(EngineLink, MessagesInOrder) {
  constexpr bool rx = false, tx = true;
  const struct {
    uintptr_t code;
    intptr_t value;
    bool transmitting;
    const char* expected;
  } steps[] = {
      {engine::kAnnounce, 0x1234, rx, "linked 4660"},
      {engine::kReceived, 0x141, rx, "show 65/1"},  // only the low 8 bits count
      {engine::kReceived, 0, rx, ""},
      {engine::kReceived, '\r', rx, "show 13/1"},
      {engine::kReceived, 0x10D, rx, ""},  // a second CR in a row
      {engine::kReceived, '\n', rx, "show 10/1"},
      {engine::kReceived, '\r', tx, "show 13/2"},  // the echo while transmitting is shown whole
      {engine::kReceived, '\r', tx, "show 13/2"},
      {engine::kReceived, 0, tx, "show 0/2"},
      {engine::kReceived, 0xE9, tx, "show 233/2"},
      {engine::kTransmitDone, 0, rx, ""},  // nothing to end while receiving
      {engine::kTransmitDone, 1, tx, ""},
      {engine::kTransmitDone, 0, tx, "done"},
      {engine::kSnrReport, 7, rx, "caption MMTTY     (7,0)"},
      {engine::kMarkReport, 9, rx, "caption MMTTY     (7,9)"},
      {engine::kMarkReport, -42, tx, "caption MMTTY     (7,-42)"},
      {engine::kSnrReport, static_cast<intptr_t>(0x1FFFFFFFFLL), rx, "caption MMTTY     (-1,-42)"},
  };
  RxFilter filter;
  EngineLink link(filter);
  for (const auto& s : steps)
    EXPECT_EQ(Handle(link, s.code, s.value, s.transmitting), s.expected) << std::hex << s.code << " " << s.value;
}

TEST(EngineLink, IgnoresCodesItDoesNotKnowAndForgetsTheLastCharacterAtASwitch) {
  RxFilter filter;
  EngineLink link(filter);
  const uintptr_t ignored[] = {0, 3, 0x7FFF, 0x8001, 0x8002, 0x8005, 0x8006, 0x8009, 0x800F, 0x8010, 0x18003};
  for (uintptr_t code : ignored) EXPECT_EQ(Handle(link, code, 'A', false), "") << std::hex << code;
  EXPECT_EQ(link.Caption(), "MMTTY     (0,0)");
  EXPECT_EQ(Handle(link, engine::kReceived, '\r', false), "show 13/1");
  filter.Reset();  // what every switch between transmit and receive does
  EXPECT_EQ(Handle(link, engine::kReceived, '\r', false), "show 13/1");
}

}  // namespace
}  // namespace zk
