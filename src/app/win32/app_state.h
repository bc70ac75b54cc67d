// The one global state record of the program, owned by the window thread.
#pragma once
#include <windows.h>

#include <atomic>

#include "app/layout.h"
#include "device/tx_queue.h"
#include "device/win32/device_connection.h"
#include "messages/auto_repeat.h"
#include "settings/settings.h"
#include "settings/settings_file.h"

class TypingPane;
class RxTxPane;

struct AppState {
  HINSTANCE instance = nullptr;
  HWND mainWindow = nullptr;
  HWND rxTxPaneWindow = nullptr;
  HWND typingPaneWindow = nullptr;
  HWND callBox = nullptr;
  WNDPROC callBoxOldProc = nullptr;
  TypingPane* typingPane = nullptr;
  RxTxPane* rxTxPane = nullptr;

  HCURSOR splitCursor = nullptr;
  zk::PaneLayout layout{};
  zk::SplitterDrag splitter;
  HBRUSH paneBrush = nullptr;
  HBRUSH borderBrush = nullptr;

  zk::Settings settings = zk::DefaultSettings();  // every value of the settings file
  char startDirectory[MAX_PATH] = "";

  zk::TxQueue txQueue;
  DeviceConnection device{settings, txQueue};
  zk::DeviceLink& link = device.link();  // owns `transmitting`

  HWND logWindow = nullptr;
  char hisRst[50] = "";
  char myRst[50] = "";
  bool qsoPending = false;

  zk::AutoRepeat autoRepeat;
  bool clockRunning = false;
};

extern AppState app;

// Hands the keyboard back to the typing pane, where every command ends.
void FocusTypingPane();
