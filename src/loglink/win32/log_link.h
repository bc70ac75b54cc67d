// The link with the logging program in the running program: its window, the registered
// message that announces a window to the other program, and one field sent at a time.
#pragma once
#include <windows.h>

#include "loglink/log_fields.h"

class LogLink {
 public:
  // A send waits this long for the logging program's window, then the terminal goes on.
  static constexpr UINT kSendTimeoutMs = 2000;

  // Looks for a running logging program's window.
  void Find();
  // The main window, handed to the logging program with every field; none before it exists.
  void SetOwner(HWND mainWindow) { owner_ = mainWindow; }

  // Sends one field "<name:length>value"; true when the logging program's window
  // answered non-zero. Nothing is sent while no logging program is known. A logging
  // program that does not answer in time is given up for this field only.
  bool Send(const char* name, const char* value);

  // Registers the message and broadcasts the main window, first with 1001, then 1000.
  void Announce();
  // The registered message's number; 0 before Announce.
  UINT message() const { return message_; }
  // The registered message arrived at the main window: links a logging program that
  // announced itself. True when the logging program asks the terminal to end.
  bool OnAnnouncement(WPARAM wParam, LPARAM lParam);

  // The logging program said it stopped: nothing more is sent.
  void Forget() { window_ = nullptr; }
  HWND window() const { return window_; }
  void BringToFront() const;

 private:
  HWND window_ = nullptr;
  HWND owner_ = nullptr;
  UINT message_ = 0;
  // One buffer for every send: sends are synchronous, on the window thread only.
  char buffer_[zk::kLogSendBufferSize] = "";
  COPYDATASTRUCT data_{};
};
