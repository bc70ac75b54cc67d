// zkmodem: the sound-card RTTY engine that the terminal starts as "zkmodem -s".
#include <windows.h>

#include <commctrl.h>

#include <cstring>

#include "engine/win32/displays.h"
#include "engine/win32/modem_window.h"
#include "engine/win32/ptt.h"

namespace {

// "-s": started by a terminal, which answers the announcement.
bool StartedByTerminal(const char* commandLine) {
  for (const char* at = commandLine; (at = std::strstr(at, "-s")) != nullptr; at += 2) {
    const bool starts = at == commandLine || at[-1] == ' ';
    const bool ends = at[2] == '\0' || at[2] == ' ';
    if (starts && ends) return true;
  }
  return false;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand) {
  StartNetworking();
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_UPDOWN_CLASS | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  RegisterDisplayClasses(instance);
  ModemWindow window(instance, StartedByTerminal(commandLine ? commandLine : ""));
  if (!window.Create(showCommand)) return 1;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageA(window.window(), &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}
