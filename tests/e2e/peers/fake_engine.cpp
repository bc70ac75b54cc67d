// Stands in for a sound-card engine program that Zktty starts (copied beside Zktty.exe
// as mmtty.exe or zkmodem.exe): it writes the command line it was given to a file named
// after itself with ".cmdline" added, beside itself, and ends.
#include <windows.h>

#include <string>

#include "testbed/win32/support.h"

int main() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 1;
  testbed::WriteFile(std::string(path) + ".cmdline", GetCommandLineA());
  return 0;
}
