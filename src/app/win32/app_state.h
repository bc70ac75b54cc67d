// The one global state record of the program, owned by the window thread.
#pragma once
#include <windows.h>

#include <atomic>

#include "app/layout.h"
#include "device/tx_queue.h"
#include "device/win32/device_connection.h"
#include "loglink/win32/log_link.h"
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

  LogLink logLink;                 // the logging program's window and the link's registered message
  char hisRst[zk::kRstSize] = "";  // report to give, from the logging program's "rst_sent"
  char myRst[zk::kRstSize] = "";   // report received, from its "rst_rcvd"
  bool qsoPending = false;         // "\l": the contact is marked for logging

  zk::AutoRepeat autoRepeat;
  bool clockRunning = false;
};

extern AppState app;

// Hands the keyboard back to the typing pane, where every command ends.
void FocusTypingPane();
