#include "loglink/log_fields.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "base/clean_line.h"
#include "base/fixed_text.h"

namespace zk {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// ASCII only: the link's names and words are plain English, and a locale-dependent
// comparison could match bytes of 128 and above differently on each side.
bool EqualsNoCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (LowerAscii(*a) != LowerAscii(*b)) return false;
  return *a == *b;
}

std::string Cleaned(const char* text) {
  std::string s = text ? text : "";
  CleanLine(&s[0]);
  s.resize(std::strlen(s.c_str()));
  return s;
}

}  // namespace

int FormatLogField(char* out, size_t capacity, const char* name, const char* value) {
  if (!out || capacity == 0) return -1;
  if (!name) name = "";
  if (!value) value = "";
  size_t valueLength = std::strlen(value);
  if (valueLength > static_cast<size_t>(INT_MAX)) {
    out[0] = '\0';
    return -1;
  }
  int n = std::snprintf(out, capacity, "<%s:%d>%s", name, static_cast<int>(valueLength), value);
  if (n < 0 || static_cast<size_t>(n) >= capacity) {
    out[0] = '\0';
    return -1;
  }
  return n;
}

const char* NextLogField(const char* p, const char* e, char* name, size_t nameCapacity, char* value,
                         size_t valueCapacity) {
  CopyText(name, nameCapacity, "");
  CopyText(value, valueCapacity, "");
  if (!p || !e || p >= e) return nullptr;
  while (p < e && *p == ' ') ++p;
  if (p == e || *p != '<') return nullptr;
  ++p;

  const char* nameStart = p;
  while (p < e && *p != ':' && *p != '>' && *p != '\0') ++p;
  CopyTextN(name, nameCapacity, nameStart, static_cast<size_t>(p - nameStart));
  if (p == e) return nullptr;

  if (*p == '>') {
    ++p;
    if (p == e) return nullptr;  // a lengthless field at the very end is dropped
    const char* valueStart = p;
    while (p < e && *p != '<' && *p != '\0') ++p;
    CopyTextN(value, valueCapacity, valueStart, static_cast<size_t>(p - valueStart));
    return p;
  }
  if (*p != ':') return nullptr;
  ++p;
  if (p == e) return nullptr;

  // No length can exceed what is left of the block, so stopping there also keeps a
  // long run of digits from overflowing.
  size_t length = 0;
  bool anyDigit = false;
  for (; p < e && *p != '>' && *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return nullptr;
    length = length * 10 + static_cast<size_t>(*p - '0');
    if (length > static_cast<size_t>(e - p)) return nullptr;
    anyDigit = true;
  }
  if (p == e || *p != '>' || !anyDigit) return nullptr;
  ++p;
  if (length > static_cast<size_t>(e - p)) return nullptr;
  CopyTextN(value, valueCapacity, p, length);
  return p + length;
}

std::vector<LogAction> LogReceive(const char* data, size_t length) {
  std::vector<LogAction> actions;
  if (!data) return actions;
  const char* e = data + length;
  char name[kLogFieldNameSize];
  char value[kLogFieldValueSize];
  const char* p = data;
  while (actions.size() < kMaxLogActionsPerBlock &&
         (p = NextLogField(p, e, name, sizeof name, value, sizeof value)) != nullptr) {
    CleanLine(name);
    if (EqualsNoCase(name, "control")) {
      if (EqualsNoCase(value, "logstopped"))
        actions.push_back({LogAction::LogStopped, std::string()});
      else if (EqualsNoCase(value, "update") || EqualsNoCase(value, "new"))
        actions.push_back({LogAction::ClearCallBox, std::string()});
    } else if (EqualsNoCase(name, "rst_rcvd")) {
      actions.push_back({LogAction::SetMyRst, std::string(value).substr(0, kRstSize - 1)});
    } else if (EqualsNoCase(name, "rst_sent")) {
      actions.push_back({LogAction::SetHisRst, std::string(value).substr(0, kRstSize - 1)});
    } else if (EqualsNoCase(name, "call")) {
      actions.push_back({LogAction::SetCallBox, std::string(value)});
    }
  }
  return actions;
}

LogAnnouncement OnLogAnnouncement(uintptr_t wParam, bool fromLogger, bool linked) {
  if (wParam == kLogEndProgram) return LogAnnouncement::kEndProgram;
  if ((wParam != kLogAnnounce && wParam != kLogAnnounceAtStart) || !fromLogger) return LogAnnouncement::kIgnore;
  return linked ? LogAnnouncement::kLink : LogAnnouncement::kLinkAndAnswer;
}

std::string PickedCallText(const char* selected) { return Cleaned(selected); }

std::string CutTo25(const std::string& text) { return text.substr(0, kPickedTextMax); }

std::string PickedReportText(const char* selected) {
  std::string report = Cleaned(selected);
  for (char& c : report)
    if (c == '-') c = ' ';
  if (report.size() >= 3) {
    for (size_t i = 1; i <= 2; ++i)
      if (report[i] == 'N' || report[i] == 'n') report[i] = '9';
  }
  return CutTo25(report);
}

}  // namespace zk
