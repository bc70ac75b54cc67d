// The messages between the terminal and a sound-card engine: one registered window
// message, with a code in wParam and a value in lParam. Shared by the terminal and the
// engine program, so it holds nothing else.
#pragma once
#include <cstdint>

namespace zk {
namespace engine {

// The name given to RegisterWindowMessageA on both sides.
constexpr char kMessageName[] = "MMTTY";

// Posted by the terminal to the engine's window.
constexpr uint32_t kReply = 0;  // value: the terminal's main window, answering kAnnounce
constexpr uint32_t kExit = 2;   // the engine is to end
constexpr uint32_t kMode = 3;   // value: one of the modes below
constexpr uint32_t kSend = 4;   // value: one character, widened as a signed 8-bit value
constexpr uint32_t kSync = 12;  // value 0; sent at start and after kReply; its meaning is the engine's
constexpr intptr_t kModeReceive = 0;
constexpr intptr_t kModeFinish = 1;  // send what is buffered, then receive
constexpr intptr_t kModeTransmit = 2;

// Sent by the engine to the terminal's main window. Codes from kFirstEngineCode to
// kLastEngineCode are the engine's; the terminal acts on the five named here. The two
// reports are the numbers of the terminal's caption for the engine, the SNR first.
constexpr uint32_t kFirstEngineCode = 0x8000;
constexpr uint32_t kLastEngineCode = 0x800F;
constexpr uint32_t kAnnounce = 0x8000;      // value: the engine's window
constexpr uint32_t kReceived = 0x8003;      // value: a character in the low 8 bits
constexpr uint32_t kTransmitDone = 0x8004;  // value 0: everything sent, back to receive
constexpr uint32_t kMarkReport = 0x8007;    // value: the mark tone as the receiver follows it, in Hz
constexpr uint32_t kSnrReport = 0x8008;     // value: the receiver's signal-to-noise ratio in 3 kHz, in dB

}  // namespace engine
}  // namespace zk
