// The scrolling, word-wrapping, coloured text window used for both panes.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "textpane/text_buffer.h"
#include "textpane/win32/scroll_bars.h"

class TextPane;

// Registers the pane window class ("QelTextWin" unless another name is given).
bool RegisterTextPaneClass(HINSTANCE instance, const char* className = nullptr);

// Holds a pane's lock for a scope; the lock is re-entrant for its owning thread.
class PaneLock {
 public:
  explicit PaneLock(TextPane& pane);
  ~PaneLock();
  PaneLock(const PaneLock&) = delete;
  PaneLock& operator=(const PaneLock&) = delete;

 private:
  TextPane& pane_;
};

class TextPane {
 public:
  explicit TextPane(int32_t capacity);
  virtual ~TextPane();
  TextPane(const TextPane&) = delete;
  TextPane& operator=(const TextPane&) = delete;

  HWND Create(HWND parent, HINSTANCE instance, int x, int y, int width, int height);
  HWND window() const { return window_; }
  int lineHeight() const { return lineHeight_; }

  // The message handlers, one per routed window message; the pane kinds override some.
  virtual void OnSetFocus();
  virtual void OnKillFocus();
  virtual int OnSysKeyDown(WPARAM key);
  virtual int OnKeyDown(WPARAM key);
  virtual void OnKeyUp(WPARAM key);
  virtual int CharInput(uint32_t ch, uint32_t slot);
  virtual void OnSysChar(WPARAM ch);
  virtual void OnLButtonDown(WPARAM flags, int x, int y);
  virtual void OnRButtonUp(WPARAM flags, int x, int y);
  virtual void OnRButtonDown(WPARAM flags, int x, int y);
  virtual void OnMouseMove(WPARAM flags, int x, int y);
  virtual void OnLButtonUp(WPARAM flags, int x, int y);
  virtual void OnLButtonDblClk(WPARAM flags, int x, int y);
  virtual void OnRButtonDblClk(WPARAM flags, int x, int y);
  virtual void CopySelectionToClipboard();
  virtual void OnDestroy();

  // Text operations. AppendChar and the general CharInput may be called from any thread;
  // from another thread they never wait for the window thread.
  void AppendChar(uint8_t ch, int slot);
  void AppendText(const char* bytes, size_t count, int slot);
  int GeneralCharInput(uint32_t ch, uint32_t slot);
  void Clear();
  void Refresh();

  int SetFont(const char* face, int32_t tenthsOfPoint, int32_t weight, uint8_t italic);
  bool SetColour(int slot, COLORREF foreground, COLORREF background);
  void SetBackground(COLORREF colour);

  int GetSelectedText(char* out, size_t capacity);
  void ClearSelection();
  void CopyAllToClipboard();
  void PasteFromClipboard();

  // The buffer itself; hold a PaneLock while touching it from outside.
  zk::TextBuffer& buffer() { return buffer_; }

  bool selectable = false;
  bool autoCopySelection = true;
  bool followEnd = true;

  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 protected:
  // Applies the view updates a buffer change asks for; window thread only.
  void ApplyChange(const zk::TextChange& change);

 private:
  friend class PaneLock;
  friend class PaneMeasure;

  void OnCreate();
  void OnSize(LPARAM lParam);
  void OnPaint(const RECT& paint, HDC dc);
  void OnViewChanged();
  void Deliver(const zk::TextChange& change);
  int HorizontalPos() const;
  void VScroll(int code);
  void HScroll(int code);
  void UpdateVerticalRange();
  void UpdateHorizontalRange();
  void ScrollToEnd();
  void PlaceCaret();
  void DrawLine(HDC dc, int index, int y);
  void DrawHighlight(HDC dc);
  void RedrawSelectionLine();
  int ScrollPos() const;
  int Measure(const char* bytes, int count);
  void LoadByteWidths();

  zk::TextBuffer buffer_;
  class PaneMeasure* measure_;
  CRITICAL_SECTION lock_;
  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  HDC measureDc_ = nullptr;
  int byteWidths_[256] = {};
  bool widthsAdd_ = false;  // byteWidths_ measures the font exactly
  int lineHeight_ = 16;
  int clientWidth_ = 0;
  int clientHeight_ = 0;
  bool mouseSelecting_ = false;
  bool caretShown_ = false;
  bool sysKeyTaken_ = false;
  ScrollBars bars_;
  DWORD windowThread_ = 0;
  std::atomic<bool> viewChangePending_{false};
  zk::TextChange pending_;  // changes made by other threads, not yet shown
};

// Posted by other threads to a pane whose text they changed; coalesced.
constexpr UINT kPaneViewChanged = WM_APP + 1;
