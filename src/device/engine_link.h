// The rules of the link with the sound-card engine that need no window: which of the
// engine's messages the terminal acts on, which received characters it shows, and the
// caption it gives the engine's window. The shell registers the message, posts and
// sends, and carries out the actions.
#pragma once
#include <cstdint>
#include <string>

#include "base/engine_protocol.h"
#include "device/rx_filter.h"

namespace zk {

// Command lines of the engines the terminal starts, the first that starts wins: the
// sound-card program "mmtty", then the engine that ships beside the terminal.
constexpr char kEngineCommand[] = "mmtty -s";
constexpr char kOwnEngineCommand[] = "zkmodem -s";
constexpr char kOwnEngineFile[] = "zkmodem.exe";

struct EngineAction {
  enum Kind {
    kNone,
    kLinked,            // store `window` as the engine's; reply, then kSync
    kShow,              // show `byte` in the receive/transmit pane in `slot`
    kTransmissionDone,  // switch to receive, then flush the transmit queue
    kCaption,           // give the engine's window the text of Caption()
  };
  Kind kind = kNone;
  intptr_t window = 0;
  uint8_t byte = 0;
  int slot = 0;
};

class EngineLink {
 public:
  // `filter` is the device link's received-byte filter, whose last character every
  // switch between transmit and receive forgets.
  explicit EngineLink(RxFilter& filter) : filter_(filter) {}

  // One message from the engine, on the window thread; code outside the engine's range
  // or unknown does nothing.
  EngineAction Handle(uintptr_t code, intptr_t value, bool transmitting);

  // "MMTTY", five blanks and the two last reported numbers: "MMTTY     (7,9)".
  std::string Caption() const;

 private:
  EngineAction Received(uint8_t c, bool transmitting);

  RxFilter& filter_;
  int32_t value1_ = 0;
  int32_t value2_ = 0;
};

}  // namespace zk
