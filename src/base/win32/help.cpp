#include "base/win32/help.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>

void OpenHelp(int context) {
  char exe[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  char* slash = std::strrchr(exe, '\\');
  if (slash) *slash = '\0';
  // One page per help context, so the manual opens at the right place without a viewer
  // that understands anchors in file paths.
  char page[MAX_PATH + 32];
  std::snprintf(page, sizeof page, "%s\\help\\context%d.html", exe, context);
  ShellExecuteA(nullptr, "open", page, nullptr, nullptr, SW_SHOWNORMAL);
}
