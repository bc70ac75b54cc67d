// Drives a running Zktty.exe from outside, the way an operator would: windows found by
// class and control number, real window messages and input, results read back from
// window texts, the clipboard, the settings file and screen pixels.
#pragma once
#include <windows.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "testbed/win32/support.h"

namespace testbed {

class ZkApp {
 public:
  ZkApp() = default;
  ~ZkApp();
  ZkApp(const ZkApp&) = delete;
  ZkApp& operator=(const ZkApp&) = delete;

  // What Start does with the setup sheet that a program without a device opens at once.
  enum class SetupAtStart { kClose, kKeep };

  // Starts Zktty.exe in a new folder named after the test, with `ini` as its settings
  // file unless it is empty; waits until the main window is shown and, unless asked to
  // keep it, closes the setup sheet that opens by itself when no device is configured.
  bool Start(const std::string& name, const std::string& ini = "", SetupAtStart setup = SetupAtStart::kClose);
  // Starts the process only; WaitForMainWindow then waits until its window is shown.
  bool Launch(const std::string& name, const std::string& ini = "");
  // Makes the next start run a copy of Zktty.exe in the test's folder, with the files
  // `beside` (source path, name) next to it: programs it starts from its own folder.
  void RunCopy(std::vector<std::pair<std::string, std::string>> beside) {
    copy_ = true;
    beside_ = std::move(beside);
  }
  // A test program built beside Zktty.exe (tests/e2e/peers).
  static std::string PeerPath(const std::string& program);
  bool WaitForMainWindow();
  // File/Exit, then waits for the process to end; false when it did not end in time.
  bool Exit();
  // The system menu's Close, then waits for the process to end.
  bool CloseBySystemMenu();
  bool WaitForExit(int ms = 10000);

  const std::string& folder() const { return folder_; }
  std::string IniPath() const { return folder_ + "\\Zktty.ini"; }
  // The value the settings file holds for `key`, or "<missing>".
  std::string Setting(const std::string& key) const;
  HWND main() const { return main_; }
  HANDLE process() const { return process_.hProcess; }
  HWND Control(int id) const { return GetDlgItem(main_, id); }
  HWND typingPane() const { return typing_; }
  HWND rxTxPane() const { return rxTx_; }
  std::string Text(HWND window) const;
  std::string ControlText(int id) const { return Text(Control(id)); }
  RECT ClientRectIn(HWND child) const;  // a child's rectangle in the main window's client area

  LRESULT Command(int id);
  void PostCommand(int id) { PostMessageA(main_, WM_COMMAND, static_cast<WPARAM>(id), 0); }
  void Type(const std::string& text);     // WM_CHAR to the typing pane
  void Key(WPARAM virtualKey);            // WM_KEYDOWN/WM_KEYUP to the typing pane
  void SysKey(WPARAM virtualKey);         // WM_SYSKEYDOWN/UP to the typing pane
  void AltKey(char letter);               // real Alt+letter input into the foreground
  void Click(HWND pane, int x, int y);    // left press and release at a client point
  void DragSplitter(int fromY, int toY);  // drags the bar in main-window client rows

  // The receive/transmit pane's text through the program's own copy command.
  std::string RxTxText();
  // Waits until the F10 button reads `caption`.
  bool WaitForTxCaption(const std::string& caption, int ms = 3000);

  COLORREF PixelAt(HWND window, int x, int y) const;
  // Counts pixels of `colour` in a client rectangle of `window`.
  int CountPixels(HWND window, const RECT& area, COLORREF colour) const;
  // The leftmost column of selection highlight on pixel row y of a window, or -1.
  int HighlightLeft(HWND window, int y) const;
  // Saves the main window (or another window) as a bitmap into the screenshot folder;
  // `client` leaves out the frame and caption, which Wine without a window manager does
  // not draw.
  bool Screenshot(const std::string& name, HWND window = nullptr, bool client = false) const;

  // Makes sure everything sent so far has been handled by the program's window thread.
  void Sync() const;

  // A visible top-level dialog (class "#32770") of the program with this title, waited for.
  HWND WaitForDialog(const std::string& title, int ms = 10000) const;
  // The setup sheet: waited for, opened by the Setup command, a page brought to the front
  // (its window returned), closed with its Close button and waited out.
  HWND SetupSheet(int ms = 15000) const;
  HWND OpenSetup();
  HWND ShowPage(HWND sheet, int index) const;
  bool CloseSetup(HWND sheet);
  // The program's thread identifiers: the device link's threads come and go with it.
  std::set<DWORD> Threads() const { return ThreadIds(process_.dwProcessId); }

 private:
  bool FindWindows();

  std::string folder_;
  bool copy_ = false;
  std::vector<std::pair<std::string, std::string>> beside_;
  PROCESS_INFORMATION process_{};
  HWND main_ = nullptr;
  HWND typing_ = nullptr;
  HWND rxTx_ = nullptr;
};

}  // namespace testbed
