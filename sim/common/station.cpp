#include "common/station.h"

#include "common/line_pacer.h"
#include "common/script.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/line_pacer.h"
#include "common/serial_line.h"

namespace zk {
namespace sim {
namespace {

constexpr int64_t kReopenNs = 200 * kNsPerMs;

volatile sig_atomic_t gStop = 0;

extern "C" void OnStopSignal(int) { gStop = 1; }

// The stop signals stay blocked except inside ppoll, so one can never slip in between
// the check of gStop and the wait.
void InstallStopSignals(sigset_t* waitMask) {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
  sigset_t block;
  sigemptyset(&block);
  sigaddset(&block, SIGTERM);
  sigaddset(&block, SIGINT);
  sigprocmask(SIG_BLOCK, &block, waitMask);
  sigdelset(waitMask, SIGTERM);
  sigdelset(waitMask, SIGINT);
}

timespec ToTimespec(int64_t ns) {
  timespec ts;
  ts.tv_sec = static_cast<time_t>(ns / 1000000000);
  ts.tv_nsec = static_cast<long>(ns % 1000000000);
  return ts;
}

void Pause(int64_t ns, const sigset_t* waitMask) {
  const timespec ts = ToTimespec(ns);
  ppoll(nullptr, 0, &ts, waitMask);
}

class Runner {
 public:
  Runner(const char* name, const LineOptions& options, int64_t charNs, Station& station)
      : name_(name),
        options_(options),
        charNs_(charNs),
        minWait_(charNs < kNsPerMs ? kNsPerMs : 0),
        station_(station),
        tx_(charNs),
        rx_(charNs) {}

  int Run() {
    InstallStopSignals(&waitMask_);
    // The default timer slack (50 us) is a large part of a fast line's character time.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    beginAt_ = MonotonicNs() + options_.startDelayMs * kNsPerMs;
    while (!gStop) {
      if (!line_.isOpen() && !OpenLine()) {
        if (options_.exitOnHup) return 1;
        Pause(kReopenNs, &waitMask_);
        continue;
      }
      if (!Step()) {
        line_.Close();
        std::fprintf(stderr, "%s: %s went away\n", name_, options_.device.c_str());
        if (options_.exitOnHup) return 3;
        Pause(kReopenNs, &waitMask_);
      }
    }
    return 0;
  }

 private:
  bool OpenLine() {
    const char* device = options_.device.c_str();
    if (options_.ownPty ? line_.OpenOwnPty(device) : line_.Open(device, options_.baud)) {
      std::fprintf(stderr, "%s: opened %s\n", name_, options_.device.c_str());
      waitingReported_ = false;
      tx_.Reset();
      rx_.Reset();
      return true;
    }
    if (!waitingReported_ || options_.exitOnHup) {
      std::fprintf(stderr, "%s: cannot open %s (%s)%s\n", name_, options_.device.c_str(), std::strerror(errno),
                   options_.exitOnHup ? "" : ", retrying");
      waitingReported_ = true;
    }
    return false;
  }

  // One pass: send and take what is due, then wait for the next deadline or for a byte
  // to read. False when the device has gone.
  bool Step() {
    const int64_t now = MonotonicNs();
    if (!begun_ && now >= beginAt_) {
      station_.Begin(now);
      begun_ = true;
    }
    int64_t wake = begun_ ? kNever : beginAt_;
    if (begun_ && !SendDue(now, &wake)) return false;
    bool got = false;
    bool wantRead = false;
    if (!ReceiveDue(now, &wake, &got, &wantRead)) return false;
    if (got) return true;  // the station may have an answer due at once

    pollfd p;
    p.fd = line_.fd();
    p.events = wantRead ? POLLIN : 0;
    p.revents = 0;
    timespec ts;
    const timespec* timeout = nullptr;
    if (wake != kNever) {
      ts = ToTimespec(std::max(wake - now, minWait_));
      timeout = &ts;
    }
    const int n = ppoll(&p, 1, timeout, &waitMask_);
    if (n <= 0) return n == 0 || errno == EINTR;
    if (p.revents & POLLIN) return true;
    return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
  }

  // Sends every byte whose slot has come (more than one only when catching up).
  bool SendDue(int64_t now, int64_t* wake) {
    while (tx_.Ready(now)) {
      if (!held_) {
        int64_t stationWake = kNever;
        held_ = station_.NextByte(now, &heldByte_, &stationWake);
        if (!held_) {
          tx_.MarkIdle();
          *wake = std::min(*wake, stationWake);
          return true;
        }
      }
      switch (line_.WriteByte(heldByte_)) {
        case SerialLine::Io::kDone:
          held_ = false;
          tx_.Use(now);
          break;
        case SerialLine::Io::kWouldBlock:  // nobody is reading the other end; try later
          *wake = std::min(*wake, now + charNs_);
          return true;
        case SerialLine::Io::kGone: return false;
      }
    }
    *wake = std::min(*wake, tx_.NextSlot());
    return true;
  }

  // Takes every byte whose slot has come. A byte already waiting keeps the line's
  // schedule; finding the line empty restarts it with the next byte that arrives.
  bool ReceiveDue(int64_t now, int64_t* wake, bool* got, bool* wantRead) {
    while (rx_.Ready(now)) {
      uint8_t b = 0;
      switch (line_.ReadByte(&b)) {
        case SerialLine::Io::kDone:
          rx_.Use(now);
          station_.Receive(b, now);
          *got = true;
          break;
        case SerialLine::Io::kWouldBlock:
          rx_.MarkIdle();
          *wantRead = true;
          return true;
        case SerialLine::Io::kGone: return false;
      }
    }
    *wake = std::min(*wake, rx_.NextSlot());
    return true;
  }

  const char* name_;
  const LineOptions& options_;
  int64_t charNs_;
  // Below a millisecond a character, waking for each one costs more than it is worth:
  // such a line is served in small catch-up batches instead.
  int64_t minWait_;
  Station& station_;
  SerialLine line_;
  LinePacer tx_;
  LinePacer rx_;
  sigset_t waitMask_;
  int64_t beginAt_ = 0;
  bool begun_ = false;
  bool held_ = false;
  uint8_t heldByte_ = 0;
  bool waitingReported_ = false;
};

}  // namespace

int64_t MonotonicNs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int RunStation(const char* name, const LineOptions& options, int64_t charNs, Station& station) {
  Runner runner(name, options, charNs, station);
  return runner.Run();
}

int PrepareStation(const char* name, const LineOptions& options, int maxRaw, double bitsPerChar, Script* script,
                   int64_t* charNs) {
  std::string error;
  if (!options.script.empty() && !LoadScript(options.script.c_str(), maxRaw, script, &error)) {
    std::fprintf(stderr, "%s: %s: %s\n", name, options.script.c_str(), error.c_str());
    return 1;
  }
  *charNs = CharacterTimeNs(options.baud, bitsPerChar, options.rateScale);
  if (*charNs == 0) {
    std::fprintf(stderr, "%s: the baud rate and rate scale give no usable speed\n", name);
    return 2;
  }
  return -1;
}

}  // namespace sim
}  // namespace zk
