// Keying the transmitter: nothing (the radio's VOX), the RTS or DTR line of a COM port,
// or the radio's own command through Hamlib's rigctld over TCP ("T 1" and "T 0").
#pragma once
#include <memory>
#include <string>

#include "modem/engine_settings.h"

class Ptt {
 public:
  virtual ~Ptt() = default;
  // False, with problem(), when the radio could not be told.
  virtual bool Set(bool on) = 0;
  const std::string& problem() const { return problem_; }
  // How the operator sees it: "PTT: rigctld 127.0.0.1:4532".
  virtual std::string Describe() const = 0;

 protected:
  std::string problem_;
};

std::unique_ptr<Ptt> MakePtt(const zk::EngineSettings& settings);

// Sockets for rigctld; once a run, before any PTT is made.
bool StartNetworking();
