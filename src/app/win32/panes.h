// The two kinds of text pane: the typing pane and the receive/transmit pane.
#pragma once
#include "textpane/win32/text_pane.h"

class TypingPane : public TextPane {
 public:
  explicit TypingPane(int32_t capacity) : TextPane(capacity) {}
  int OnSysKeyDown(WPARAM key) override;
  int OnKeyDown(WPARAM key) override;
  int CharInput(uint32_t ch, uint32_t slot) override;
  void OnLButtonDown(WPARAM flags, int x, int y) override;

  bool directMode = false;

 private:
  void ToggleDirectMode();
};

class RxTxPane : public TextPane {
 public:
  explicit RxTxPane(int32_t capacity) : TextPane(capacity) { followEnd = false; }
  int CharInput(uint32_t ch, uint32_t slot) override;
  void OnLButtonDown(WPARAM flags, int x, int y) override;
  // The picks for the logging program: the selection as the call, or as the report.
  void OnLButtonDblClk(WPARAM flags, int x, int y) override;
  void OnRButtonDown(WPARAM flags, int x, int y) override;

  bool directEcho = false;
};
