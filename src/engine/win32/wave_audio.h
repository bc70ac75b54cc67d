// The sound cards through the wave API, behind the session's audio interfaces. Each open
// device signals an event when a block is done; the modem thread waits on them.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/engine_ports.h"

// The events of the open devices, which the modem thread waits on besides its own.
class WakeEvents {
 public:
  void Add(HANDLE event) { events_.push_back(event); }
  void Remove(HANDLE event);
  const std::vector<HANDLE>& events() const { return events_; }

 private:
  std::vector<HANDLE> events_;
};

// Device names as Windows lists them (at most 31 characters).
std::vector<std::string> InputDeviceNames();
std::vector<std::string> OutputDeviceNames();

// An empty name is the system's default device. Null, with the reason, when it cannot open.
std::unique_ptr<zk::AudioInput> OpenWaveInput(const std::string& name, int rate, WakeEvents& wake,
                                              std::string* problem);
std::unique_ptr<zk::AudioOutput> OpenWaveOutput(const std::string& name, int rate, WakeEvents& wake,
                                                std::string* problem);

// Milliseconds of a steady clock.
double NowMs();
