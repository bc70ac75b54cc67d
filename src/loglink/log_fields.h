#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zk {

// The logging program's window class and the registered message that announces a window
// of either program to the other, with its wParam values.
constexpr char kLoggerWindowClass[] = "ZkLoggingWindow";
constexpr char kLogLinkMessageName[] = "ZKTTYXR9QT";
constexpr uintptr_t kLogAnnounce = 1000;         // lParam: the sender's window
constexpr uintptr_t kLogAnnounceAtStart = 1001;  // lParam: the sender's window
constexpr uintptr_t kLogEndProgram = 1002;

// What the terminal does when its registered message arrives.
enum class LogAnnouncement {
  kIgnore,
  kLink,           // the window becomes the logging program's
  kLinkAndAnswer,  // the same, and it is answered with kLogAnnounce and the main window
  kEndProgram,     // forget the logging program and end the terminal
};

// `fromLogger`: lParam is a window of the logging program's class, so neither the
// terminal's own broadcast nor another terminal's is linked; `linked`: a logging
// program's window is known already.
LogAnnouncement OnLogAnnouncement(uintptr_t wParam, bool fromLogger, bool linked);

// Sizes of the fixed fields on both sides of the link with the logging program.
constexpr size_t kLogSendBufferSize = 500;
constexpr size_t kLogFieldNameSize = 100;
constexpr size_t kLogFieldValueSize = 1000;
constexpr size_t kRstSize = 50;        // hisRst and myRst, with their terminator
constexpr size_t kPickedTextMax = 25;  // longest call or report sent from a pane pick
constexpr size_t kMaxLogActionsPerBlock = 1000;

// Writes "<name:length>value" (length = bytes of value) into out. Returns the number
// of bytes written without the terminator, which is what goes out as cbData, or -1
// when the field and its terminator do not fit; out is then left empty, so a cut
// field with a wrong length can never be sent.
int FormatLogField(char* out, size_t capacity, const char* name, const char* value);

// Parses one field of a received block that runs from p up to (not including) e,
// in either form "<name:length>value" or "<name>value". Name and value are cut to
// their buffers and always terminated (when the capacity is not zero). Returns the
// position after the whole field, even when it was cut, or nullptr when no field
// can be parsed there. Never reads at or beyond e.
const char* NextLogField(const char* p, const char* e, char* name, size_t nameCapacity, char* value,
                         size_t valueCapacity);

// What the shell has to do for one received field.
struct LogAction {
  enum Kind { ClearCallBox, SetCallBox, SetMyRst, SetHisRst, LogStopped } kind;
  std::string text;  // the new Call box text or report; empty for the others
};

// Turns a received block into the actions it asks for, in order. Parsing stops at
// the first place that is not a field; at most kMaxLogActionsPerBlock actions come
// back. Reports are cut to kRstSize - 1 characters.
std::vector<LogAction> LogReceive(const char* data, size_t length);

// The selection picked as the other station's call: cleaned, whole, for the Call box.
std::string PickedCallText(const char* selected);

// The first kPickedTextMax characters of text, as sent in a picked "CALL" field.
std::string CutTo25(const std::string& text);

// The selection picked as the report received, ready to send as "rst_rcvd": cleaned,
// dashes made blanks, an N or n in the second or third place made 9 (5NN is 599)
// when the text has at least 3 characters, cut to kPickedTextMax characters.
std::string PickedReportText(const char* selected);

}  // namespace zk
