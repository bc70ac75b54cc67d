#include "modem/modem_settings.h"

#include <algorithm>

namespace zk {

std::string CheckModemSettings(const ModemSettings& s) {
  if (!(s.sampleRate >= 8000 && s.sampleRate <= 48000)) return "the sample rate must be 8000 to 48000 Hz";
  if (!(s.baud >= 20 && s.baud <= 150)) return "the baud rate must be 20 to 150";
  if (!(s.shift >= 20 && s.shift <= 1000)) return "the shift must be 20 to 1000 Hz";
  if (s.stopBits != 1 && s.stopBits != 1.5 && s.stopBits != 2) return "the stop length must be 1, 1.5 or 2 elements";
  // Both tones, with the receiver's search range and the keying sidebands, must fit
  // between a little above zero and a little below half the sample rate.
  const double margin = kAfcRangeHz + 2 * s.baud;
  const double low = std::min(s.mark, s.space()) - margin;
  const double high = std::max(s.mark, s.space()) + margin;
  if (!(low >= 100 && high <= 0.45 * s.sampleRate)) return "the tones are too close to 0 Hz or to half the sample rate";
  return "";
}

}  // namespace zk
