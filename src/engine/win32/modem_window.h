// The engine program's one window: the waterfall and the controls, the settings file, and
// the terminal's registered message, handed to the modem thread.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "engine/engine_settings.h"
#include "engine/win32/modem_thread.h"

class ModemWindow {
 public:
  ModemWindow(HINSTANCE instance, bool startedByTerminal)
      : instance_(instance), startedByTerminal_(startedByTerminal) {}

  bool Create(int showCommand);
  HWND window() const { return window_; }

 private:
  static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

  void OnCommand(WPARAM wParam);
  INT_PTR OnNotify(NMHDR& header);
  void OnUpdate();
  void OnSize(WPARAM kind);
  void OnTune(LPARAM hz);
  void TuneTo(const zk::BandRow& row);
  void ShowBandList(bool shown);
  void ShowBand(const std::vector<zk::BandRow>& rows);
  void OnDestroy();
  void OpenSettings();
  bool Change(const zk::EngineSettings& candidate);
  void ShowSettings();
  void ShowSquelchLevel();
  void ShowStatus(const zk::EngineStatus& status);
  std::string Text(int id) const;
  // A label of the status, set only when its text changes: setting one repaints it.
  struct Label {
    HWND window = nullptr;
    std::string text;
    void Set(const std::string& now);
  };
  void Place(int id, LONG top, LONG height, LONG right);
  void PlaceWindow();
  void SaveSettings();

  HINSTANCE instance_;
  HWND window_ = nullptr;
  UINT message_ = 0;
  bool startedByTerminal_;
  zk::EngineSettings settings_;
  std::string iniPath_;
  ModemThread modem_;
  bool visible_ = true;
  std::vector<zk::BandRow> band_;  // as the list shows it
  unsigned updates_ = 0;
  // Found once: finding a control by its id asks the window system each time.
  HWND waterfall_ = nullptr, level_ = nullptr, list_ = nullptr;
  Label tuning_, devices_, state_;
};
