#pragma once
#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

#include "messages/fkey_set.h"

namespace zk {

constexpr size_t kComposeBufferSize = 10000;   // resolved text and expanded text, each
constexpr size_t kMessageFileMaxBytes = 9000;  // the part of a message file that is used
constexpr size_t kMessagePathSize = 260;       // start directory, backslash and file name
constexpr size_t kCallBoxMaxChars = 99;        // what the Call edit gives, buffer of 100

// The values the macros stand for, read by the shell at the moment of sending. Null
// pointers count as empty texts.
struct MacroValues {
  const char* myCall = nullptr;          // "(MYCALL)"
  const char* callBox = nullptr;         // "(HISCALL)": the Call edit as it is, untrimmed
  const char* hisRst = nullptr;          // report given, shaped by the two formats
  const char* myRst = nullptr;           // "(MYRST)"
  const char* hisRstFormat = nullptr;    // format of "(HISRST)"
  const char* exchangeFormat = nullptr;  // format of "(EXCHANGEONLY)"
};

// First occurrence of `part` in `text`, letters compared without case; null for a null
// or empty text and when there is none.
const char* FindNoCase(const char* text, const char* part);

// True when `text` begins with `prefix`, letters compared without case.
bool StartsWithNoCase(const char* text, const char* prefix);

// Writes hisRst shaped by `format` ("#1".."#7" pick its words) at `out`: at most
// capacity - 1 bytes and a terminator. Returns the number of bytes written before it.
size_t ApplyReportFormat(char* out, size_t capacity, const char* hisRst, const char* format);

// Copies `in` to `out` with the five macros replaced, cut at capacity - 1 and terminated.
// A 0x01 byte (from "\u") is dropped and sets *logUpdateRequested; the caller runs the
// log update after the expansion, so "(HISCALL)" still sees the call. Returns the length.
size_t ExpandMacros(const char* in, char* out, size_t capacity, const MacroValues& values, bool* logUpdateRequested);

// Function-key files and message files larger than this are refused whole, so a wrong
// file chosen (a recording, a disk image) never fills the memory of a 32-bit program.
constexpr long kLargestFileBytes = 1024 * 1024;

// What reading a file gave: its text, nothing (missing, unreadable, empty), or a refusal.
enum class FileRead { kRead, kNothing, kTooLarge };

// Whether an open file holds more than kLargestFileBytes; it is read from its start again.
// It seeks past the limit rather than asking the size, which a 32-bit long cannot hold
// for every file.
bool TooLarge(std::FILE* file);

// Reads a message file's body.
using MessageFileReader = std::function<FileRead(const char* path, std::string& body)>;

// The real reader: text mode, the first kMessageFileMaxBytes bytes; kNothing when the
// file cannot be opened or yields no bytes.
FileRead ReadMessageFile(const char* path, std::string& body);

struct ComposeContext {
  MacroValues macros;
  const char* ignore = nullptr;          // its first character is sent as a blank
  const char* startDirectory = nullptr;  // where "@name" message files are looked up
  bool transmitting = false;             // "\t" yields nothing while transmitting
  MessageFileReader readFile;            // ReadMessageFile when empty
};

struct ComposeResult {
  std::string text;                    // to append to the typing pane in colour slot 0, in order
  bool startTxRequested = false;       // the text held "\t" while receiving
  bool qsoPending = false;             // "\l": mark the contact for logging
  bool qsoPendingAfterUpdate = false;  // the last "\l" comes after the last "\u": mark after the update
  bool logUpdateRequested = false;     // "\u": update the log now that the text is built
  std::string refusedFile;             // a message file too large to send, by its path; nothing is sent
};

// Turns one function-key message into typing-pane text: drops its label, takes the body
// from a message file for "@name", resolves escapes and macros.
ComposeResult ComposeMessage(const char* message, const ComposeContext& context);

// The button caption a message's "<label>" gives; false when it has no complete label.
bool FKeyLabel(const char* message, char* label, size_t capacity);

// Whether sending key `index` (0..8) arms the auto-repeat: it is the repeat key and its
// stored text holds both "\t" and "\s" in either case.
bool ShouldArmRepeat(int index, const FKeySet& set);

}  // namespace zk
