#include "testbed/win32/fake_peers.h"

#include "testbed/win32/support.h"

namespace testbed {

bool PeerWindow::Start(const char* className) {
  thread_ = std::thread([this, name = std::string(className)] { Run(name); });
  return WaitFor([this] { return window_.load() != nullptr; }, 5000);
}

void PeerWindow::Stop() {
  if (!thread_.joinable()) return;
  if (window_) PostMessageA(window_, WM_CLOSE, 0, 0);
  thread_.join();
}

void PeerWindow::Run(const std::string& className) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = className.c_str();
  RegisterClassA(&wc);  // fails harmlessly when an earlier peer registered it
  if (!CreateWindowExA(0, wc.lpszClassName, wc.lpszClassName, WS_OVERLAPPED, 0, 0, 100, 50, nullptr, nullptr,
                       wc.hInstance, this))
    return;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
}

LRESULT CALLBACK PeerWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<PeerWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->window_ = window;
  }
  if (message == WM_DESTROY) PostQuitMessage(0);
  auto* self = reinterpret_cast<PeerWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self && self->OnMessage(message, wParam, lParam)) return 1;
  return DefWindowProcA(window, message, wParam, lParam);
}

void PeerWindow::Record(std::string text) {
  std::lock_guard<std::mutex> lock(mutex_);
  records_.push_back(std::move(text));
}

std::vector<std::string> PeerWindow::Records(size_t count, int ms) {
  auto all = [this] {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
  };
  WaitFor([&] { return all().size() >= count; }, ms);
  return all();
}

bool FakeLogger::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == registered) {
    if (reinterpret_cast<HWND>(lParam) != window())
      Record("announce " + std::to_string(wParam) + " " + std::to_string(lParam));
    return true;
  }
  if (message != WM_COPYDATA) return false;
  const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  const char* bytes = data && data->lpData ? static_cast<const char*>(data->lpData) : "";
  Record(std::to_string(wParam) + " " + std::string(bytes, data && data->lpData ? data->cbData : 0));
  if (const int hang = hangMs_.exchange(0)) Sleep(static_cast<DWORD>(hang));
  return true;
}

LRESULT FakeLogger::SendBlock(HWND zktty, const std::string& block) const {
  COPYDATASTRUCT data{0, static_cast<DWORD>(block.size()), const_cast<char*>(block.data())};
  return SendMessageA(zktty, WM_COPYDATA, reinterpret_cast<WPARAM>(window()), reinterpret_cast<LPARAM>(&data));
}

void FakeLogger::Announce(WPARAM code) const {
  PostMessageA(HWND_BROADCAST, registered, code, reinterpret_cast<LPARAM>(window()));
}

bool FakeEngine::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != registered) return false;
  Record(std::to_string(wParam) + " " +
         (lParam && reinterpret_cast<HWND>(lParam) == zktty_ ? "main" : std::to_string(lParam)));
  return true;
}

void FakeEngine::Receive(const std::string& text) const {
  for (unsigned char c : text) Post(0x8003, c);
}

std::string FakeEngine::Caption() const {
  char text[128] = "";
  GetWindowTextA(window(), text, sizeof text);
  return text;
}

bool FakeTerminal::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != registered) return false;
  HWND from = reinterpret_cast<HWND>(lParam);
  DWORD process = 0;
  if (wParam == 0x8000 && from && GetWindowThreadProcessId(from, &process) && process == engineProcess_) {
    engine_ = from;
    if (linkedMs_ == 0) linkedMs_ = NowMs();
    Post(0, reinterpret_cast<intptr_t>(window()));
    Post(12, 0);
    return true;
  }
  if (wParam < 0x8001 || wParam > 0x800F) return true;  // our own posts and others' announcements
  std::lock_guard<std::mutex> lock(mutex_);
  messages_.push_back({NowMs(), static_cast<uint32_t>(wParam), lParam});
  return true;
}

HWND FakeTerminal::WaitForEngine(int ms) const {
  WaitFor([this] { return engine_.load() != nullptr; }, ms);
  return engine_;
}

std::vector<FakeTerminal::Message> FakeTerminal::Messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

std::string FakeTerminal::Text(bool untilEnd) const {
  std::string text;
  for (const Message& m : Messages()) {
    if (untilEnd && m.code == 0x8004) break;
    if (m.code == 0x8003) text.push_back(static_cast<char>(m.value));
  }
  return text;
}

}  // namespace testbed
