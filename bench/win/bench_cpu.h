// CPU time and memory of processes and threads, as the benchmarks report them. Under
// Wine, GetProcessTimes of another process is wrong, so a Linux process's own figures
// are read from /proc through Wine's Z: drive.
#pragma once
#include <windows.h>
#include <psapi.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "testbed/win32/support.h"

namespace bench {

inline double FileTimeMs(const FILETIME& t) {
  return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
}

inline double ProcessCpuMs(HANDLE process = GetCurrentProcess()) {
  FILETIME created, ended, kernel, user;
  if (!GetProcessTimes(process, &created, &ended, &kernel, &user)) return 0;
  return FileTimeMs(kernel) + FileTimeMs(user);
}

inline double ThreadCpuMs(HANDLE thread) {
  FILETIME created, ended, kernel, user;
  if (!thread || !GetThreadTimes(thread, &created, &ended, &kernel, &user)) return 0;
  return FileTimeMs(kernel) + FileTimeMs(user);
}

inline uint64_t ProcessMemory(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  return GetProcessMemoryInfo(process, &counters, sizeof counters) ? counters.PagefileUsage : 0;
}

// CPU time (user and system) of a Linux process from /proc; -1 when it cannot be read.
inline double LinuxCpuMs(const std::string& pid) {
  if (pid.empty()) return -1;
  const std::string stat = testbed::ReadFile("Z:\\proc\\" + pid + "\\stat");
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  // After the command name: the state is field 3, utime and stime are fields 14 and 15.
  const char* p = stat.c_str() + close + 1;
  for (int field = 2; field < 14 && p; ++field) {
    p = std::strchr(p, ' ');
    if (p) ++p;
  }
  unsigned long long utime = 0, stime = 0;
  if (!p || std::sscanf(p, "%llu %llu", &utime, &stime) != 2) return -1;
  return static_cast<double>(utime + stime) * 10.0;  // 100 clock ticks a second
}

// The Linux process id of the Wine process running `exeName` whose current folder holds
// `markerFile`, or "" when there is none.
inline std::string LinuxPidOf(const std::string& exeName, const std::string& markerFile) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA("Z:\\proc\\*", &entry);
  if (find == INVALID_HANDLE_VALUE) return std::string();
  std::string found;
  do {
    const std::string pid = entry.cFileName;
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string dir = "Z:\\proc\\" + pid;
    if (testbed::ReadFile(dir + "\\comm") != exeName + "\n") continue;
    if (testbed::FileExists(dir + "\\cwd\\" + markerFile)) found = pid;
  } while (found.empty() && FindNextFileA(find, &entry));
  FindClose(find);
  return found;
}

}  // namespace bench
