// WAV files in place of the sound cards, played and written at the pace a card would take
// (by the clock), so the engine runs the same from a recording, into one, and in tests.
#pragma once
#include <memory>
#include <string>

#include "engine/engine_ports.h"
#include "modem/wav.h"

namespace zk {

// Plays from Begin on; null, with the reason, when the file cannot be played.
std::unique_ptr<AudioInput> OpenFileInput(const std::string& path, Clock& clock, std::string* problem);
// Plays into `file` (or nowhere, when it is null), which is brought up to date when the
// output closes.
std::unique_ptr<AudioOutput> OpenPacedOutput(int rate, WavFile* file, Clock& clock);

}  // namespace zk
