#include "device/win32/engine_channel.h"

#include <cstring>

namespace {

constexpr DWORD kStartPauseMs = 500;
// The engine's caption is sent, not posted (it carries text); a hung engine must not
// hold the window thread.
constexpr UINT kCaptionTimeoutMs = 1000;

// The engine that ships with the terminal, started from the terminal's own folder so
// no other program of that name is taken by mistake.
bool StartOwnEngine() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return false;
  char* slash = std::strrchr(path, '\\');
  const size_t folder = slash ? static_cast<size_t>(slash - path + 1) : 0;
  if (folder + sizeof zk::kOwnEngineFile > sizeof path) return false;
  std::memcpy(path + folder, zk::kOwnEngineFile, sizeof zk::kOwnEngineFile);
  if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return false;
  char commandLine[sizeof zk::kOwnEngineCommand];
  std::memcpy(commandLine, zk::kOwnEngineCommand, sizeof commandLine);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

}  // namespace

bool EngineChannel::Start() {
  // Registered before the engine runs, so an engine that announces itself at once is heard.
  message_ = RegisterWindowMessageA(zk::engine::kMessageName);
  window_ = nullptr;
  const bool started = StartProgram();
  Sleep(kStartPauseMs);
  Post(zk::engine::kMode, zk::engine::kModeReceive);
  Post(zk::engine::kSync, 0);
  return started;
}

bool EngineChannel::Lost() {
  HWND window = window_;
  if (!window || IsWindow(window)) return false;
  window_ = nullptr;
  return true;
}

bool EngineChannel::StartProgram() {
  if (WinExec(zk::kEngineCommand, SW_SHOWNORMAL) > 31) return true;
  return StartOwnEngine();
}

void EngineChannel::Post(uint32_t code, intptr_t value) {
  HWND window = window_;
  const UINT message = message_;
  if (window && message) PostMessageA(window, message, code, value);
}

zk::EngineAction EngineChannel::Handle(HWND mainWindow, WPARAM code, LPARAM value, bool transmitting) {
  const zk::EngineAction action = rules_.Handle(code, value, transmitting);
  if (action.kind == zk::EngineAction::kLinked) {
    window_ = reinterpret_cast<HWND>(action.window);
    Post(zk::engine::kReply, reinterpret_cast<intptr_t>(mainWindow));
    Post(zk::engine::kSync, 0);
  } else if (action.kind == zk::EngineAction::kCaption) {
    SetCaption();
  }
  return action;
}

void EngineChannel::SetCaption() {
  HWND window = window_;
  if (!window) return;
  const std::string caption = rules_.Caption();
  DWORD_PTR result = 0;
  SendMessageTimeoutA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(caption.c_str()), SMTO_ABORTIFHUNG | SMTO_BLOCK,
                      kCaptionTimeoutMs, &result);
}
