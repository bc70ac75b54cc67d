// The engine program's one window: the waterfall and the controls, the link with the
// terminal (the registered message, through zk::EngineRules) and the settings file.
#pragma once
#include <windows.h>

#include <string>

#include "modem/engine_rules.h"
#include "modem/engine_settings.h"
#include "modem/win32/modem_thread.h"

class ModemWindow : public zk::EngineHost {
 public:
  ModemWindow(HINSTANCE instance, bool startedByTerminal)
      : instance_(instance), rules_(*this, startedByTerminal), startedByTerminal_(startedByTerminal) {}

  bool Create(int showCommand);
  HWND window() const { return window_; }

 private:
  static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

  // What the rules ask for.
  void Announce() override;
  void Post(intptr_t window, uint32_t code, intptr_t value) override;
  void Linked() override { modem_.BeginFile(); }
  void Receive() override { modem_.Receive(); }
  void Transmit() override { modem_.Transmit(); }
  void Finish() override { modem_.Finish(); }
  void Send(char ch) override { modem_.Send(ch); }
  void Exit() override { DestroyWindow(window_); }

  void OnCommand(WPARAM wParam);
  void OnTimer();
  void OnSize(WPARAM kind);
  void OnRows();
  void OnTune(LPARAM hz);
  void OnDestroy();
  void OpenSettings();
  bool Change(const zk::EngineSettings& candidate);
  void ShowSettings();
  void ShowStatus(const ModemStatus& status);
  void SetText(int id, const std::string& text);
  void PlaceWindow();
  void SaveSettings();

  HINSTANCE instance_;
  HWND window_ = nullptr;
  UINT message_ = 0;
  zk::EngineRules rules_;
  bool startedByTerminal_;
  zk::EngineSettings settings_;
  std::string iniPath_;
  ModemThread modem_;
  bool visible_ = true;
};
