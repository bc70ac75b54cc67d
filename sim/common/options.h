#pragma once
#include <cstdint>
#include <string>

namespace zk {
namespace sim {

// The options both simulators share.
struct LineOptions {
  std::string device;
  double baud = 0;
  double rateScale = 1;
  int64_t startDelayMs = 0;
  bool exitOnHup = false;
  bool ownPty = false;  // device is a link the simulator makes to a pty it holds itself
  std::string script;
  bool loop = false;
  std::string record;
  std::string recordRaw;
};

extern const char kCommonUsage[];

enum class OptionResult { kTaken, kNotMine, kBad };

// Looks at argv[*index]; when it is a shared option, stores it (and its value, advancing
// *index past it). kBad comes with the reason in *error.
OptionResult TakeCommonOption(int argc, char** argv, int* index, LineOptions* options, std::string* error);

// The value after argv[*index], advancing *index; null (with *error set) when missing.
const char* OptionValue(int argc, char** argv, int* index, std::string* error);

// Whole-text numbers within [low, high]; false for anything else.
bool ParseDoubleArg(const char* text, double low, double high, double* value);
bool ParseIntArg(const char* text, int64_t low, int64_t high, int64_t* value);

}  // namespace sim
}  // namespace zk
