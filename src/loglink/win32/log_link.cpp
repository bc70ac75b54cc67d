#include "loglink/win32/log_link.h"

void LogLink::Find() { window_ = FindWindowA(zk::kLoggerWindowClass, nullptr); }

bool LogLink::Send(const char* name, const char* value) {
  if (!window_) return false;
  const int length = zk::FormatLogField(buffer_, sizeof buffer_, name, value);
  if (length < 0) return false;
  data_.dwData = 0;
  data_.cbData = static_cast<DWORD>(length);
  data_.lpData = buffer_;
  // Synchronous, so the buffer stays valid until the logging program has read it; a
  // program that hangs costs each field at most the time-out, and none once Windows
  // sees it as hung.
  DWORD_PTR result = 0;
  const LRESULT sent =
      SendMessageTimeoutA(window_, WM_COPYDATA, reinterpret_cast<WPARAM>(owner_), reinterpret_cast<LPARAM>(&data_),
                          SMTO_ABORTIFHUNG | SMTO_BLOCK, kSendTimeoutMs, &result);
  return sent != 0 && result != 0;
}

void LogLink::Announce() {
  message_ = RegisterWindowMessageA(zk::kLogLinkMessageName);
  if (message_ == 0) return;
  const LPARAM self = reinterpret_cast<LPARAM>(owner_);
  PostMessageA(HWND_BROADCAST, message_, zk::kLogAnnounceAtStart, self);
  PostMessageA(HWND_BROADCAST, message_, zk::kLogAnnounce, self);
}

namespace {

// Every terminal broadcasts the same message; only the logging program's window is one to link.
bool IsLoggerWindow(HWND window) {
  char name[sizeof zk::kLoggerWindowClass + 1] = "";
  return window && GetClassNameA(window, name, sizeof name) > 0 && lstrcmpiA(name, zk::kLoggerWindowClass) == 0;
}

}  // namespace

bool LogLink::OnAnnouncement(WPARAM wParam, LPARAM lParam) {
  HWND sender = reinterpret_cast<HWND>(lParam);
  switch (zk::OnLogAnnouncement(wParam, IsLoggerWindow(sender), window_ != nullptr)) {
    case zk::LogAnnouncement::kLinkAndAnswer:
      window_ = sender;
      PostMessageA(sender, message_, zk::kLogAnnounce, reinterpret_cast<LPARAM>(owner_));
      return false;
    case zk::LogAnnouncement::kLink: window_ = sender; return false;
    case zk::LogAnnouncement::kEndProgram: window_ = nullptr; return true;
    case zk::LogAnnouncement::kIgnore: return false;
  }
  return false;
}

void LogLink::BringToFront() const {
  if (window_) SetForegroundWindow(window_);
}
