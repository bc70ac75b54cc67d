// Keying the transmitter: nothing (the radio's VOX), the RTS or DTR line of a COM port,
// or the radio's own command through Hamlib's rigctld over TCP ("T 1" and "T 0").
#pragma once
#include <memory>
#include <string>

#include "engine/engine_ports.h"
#include "engine/engine_settings.h"

std::unique_ptr<zk::Ptt> MakePtt(const zk::EngineSettings& settings);

// Sockets for rigctld; once a run, before any PTT is made.
bool StartNetworking();
