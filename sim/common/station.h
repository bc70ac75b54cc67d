#pragma once
#include <cstdint>

#include "common/options.h"

namespace zk {
namespace sim {

int64_t MonotonicNs();

// A simulated device at the far end of the line. RunStation calls it on one thread.
class Station {
 public:
  virtual ~Station() = default;
  // The start delay has passed: the device may start talking.
  virtual void Begin(int64_t now) = 0;
  // One byte taken off the line, at most one per character time.
  virtual void Receive(uint8_t byte, int64_t now) = 0;
  // The next byte to send, if one is due at `now`. Otherwise false, with *wakeAt set to
  // when to ask again (kNever: not before the next received byte).
  virtual bool NextByte(int64_t now, uint8_t* byte, int64_t* wakeAt) = 0;
};

// Opens options.device and runs the station on it, pacing both directions at one
// character per charNs, until SIGTERM or SIGINT (returns 0). A device that goes away or
// is not there yet is opened again every 200 ms; with exitOnHup the run ends instead
// (returns 3, or 1 when it could not be opened at all).
int RunStation(const char* name, const LineOptions& options, int64_t charNs, Station& station);

struct Script;

// What both simulators do before they run: load the script (codes up to maxRaw) and work
// out the character time. Returns -1 when all is well, otherwise the exit code, after
// telling the user why.
int PrepareStation(const char* name, const LineOptions& options, int maxRaw, double bitsPerChar, Script* script,
                   int64_t* charNs);

}  // namespace sim
}  // namespace zk
