#include "common/options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace zk {
namespace sim {

const char kCommonUsage[] =
    "  --device PATH        the serial device to open (a pty link made by socat)\n"
    "  --baud RATE          line speed\n"
    "  --rate-scale X       run the line and the script's pauses X times faster\n"
    "  --start-delay MS     wait this long before sending anything\n"
    "  --script FILE        traffic to send (see sim/README.md for the format)\n"
    "  --loop               play the script again and again\n"
    "  --record FILE        append what is received, as text\n"
    "  --record-raw FILE    append every received byte as \"t_ms hex\"\n"
    "  --exit-on-hup        exit when the device goes away instead of reopening it\n"
    "  --own-pty            make --device a link to a pty of the simulator's own, so\n"
    "                       nothing but the simulator reads what the program writes\n";

bool ParseDoubleArg(const char* text, double low, double high, double* value) {
  if (!text || !*text) return false;
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text, &end);
  if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < low || v > high) return false;
  *value = v;
  return true;
}

bool ParseIntArg(const char* text, int64_t low, int64_t high, int64_t* value) {
  if (!text || !*text) return false;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text, &end, 0);
  if (errno != 0 || *end != '\0' || v < low || v > high) return false;
  *value = v;
  return true;
}

const char* OptionValue(int argc, char** argv, int* index, std::string* error) {
  if (*index + 1 >= argc) {
    *error = std::string(argv[*index]) + " needs a value";
    return nullptr;
  }
  ++*index;
  return argv[*index];
}

OptionResult TakeCommonOption(int argc, char** argv, int* index, LineOptions* options, std::string* error) {
  const char* name = argv[*index];
  if (std::strcmp(name, "--loop") == 0) {
    options->loop = true;
    return OptionResult::kTaken;
  }
  if (std::strcmp(name, "--exit-on-hup") == 0) {
    options->exitOnHup = true;
    return OptionResult::kTaken;
  }
  if (std::strcmp(name, "--own-pty") == 0) {
    options->ownPty = true;
    return OptionResult::kTaken;
  }
  std::string* text = nullptr;
  if (std::strcmp(name, "--device") == 0) text = &options->device;
  if (std::strcmp(name, "--script") == 0) text = &options->script;
  if (std::strcmp(name, "--record") == 0) text = &options->record;
  if (std::strcmp(name, "--record-raw") == 0) text = &options->recordRaw;
  const bool numeric = std::strcmp(name, "--baud") == 0 || std::strcmp(name, "--rate-scale") == 0 ||
                       std::strcmp(name, "--start-delay") == 0;
  if (!text && !numeric) return OptionResult::kNotMine;

  const char* value = OptionValue(argc, argv, index, error);
  if (!value) return OptionResult::kBad;
  if (text) {
    *text = value;
    return OptionResult::kTaken;
  }
  bool ok = false;
  if (std::strcmp(name, "--baud") == 0) {
    ok = ParseDoubleArg(value, 1, 4000000, &options->baud);
  } else if (std::strcmp(name, "--rate-scale") == 0) {
    ok = ParseDoubleArg(value, 0.001, 100000, &options->rateScale);
  } else {
    ok = ParseIntArg(value, 0, 24LL * 3600 * 1000, &options->startDelayMs);
  }
  if (!ok) *error = std::string("bad value for ") + name + ": " + value;
  return ok ? OptionResult::kTaken : OptionResult::kBad;
}

}  // namespace sim
}  // namespace zk
