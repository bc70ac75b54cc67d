// The programs Zktty talks to by window message, played from the test process: a
// logging program's window and a sound-card engine's window, each on a thread of its
// own so the test thread can drive Zktty while they answer it. Each records what it gets.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testbed {

class PeerWindow {
 public:
  virtual ~PeerWindow() = default;
  HWND window() const { return window_; }
  // The records so far, once there are `count` or `ms` have passed.
  std::vector<std::string> Records(size_t count = 0, int ms = 5000);

 protected:
  // Creates a top-level window of `className` on the peer's thread.
  bool Start(const char* className);
  // Ends the thread; each kind calls it in its destructor, while OnMessage still exists.
  void Stop();
  // Handles a message on the peer's thread; false passes it to DefWindowProcA.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
  void Record(std::string text);

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Run(const std::string& className);
  std::thread thread_;
  std::atomic<HWND> window_{nullptr};
  std::mutex mutex_;
  std::vector<std::string> records_;
};

// The logging program ("ZkLoggingWindow"): records each field as the sender (wParam) and
// exactly cbData bytes ("1234 <CALL:5>W1ABC"), each announcement from another window as
// "announce 1001 1234".
class FakeLogger : public PeerWindow {
 public:
  ~FakeLogger() override { Stop(); }
  bool Start() { return PeerWindow::Start("ZkLoggingWindow"); }
  // The next field's handler keeps the logger's thread away from its messages this long.
  void HangNextFieldFor(int ms) { hangMs_ = ms; }
  // One block to Zktty as the logging program sends it; Zktty's answer.
  LRESULT SendBlock(HWND zktty, const std::string& block) const;
  // The log link's message with this window, to every top-level window.
  void Announce(WPARAM code) const;
  const UINT registered = RegisterWindowMessageA("ZKTTYXR9QT");

 private:
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  std::atomic<int> hangMs_{0};
};

// The sound-card engine: records each message it gets as "code value" (Zktty's main
// window as "main"); posts what an engine posts; its caption is what Zktty set.
class FakeEngine : public PeerWindow {
 public:
  explicit FakeEngine(HWND zktty) : zktty_(zktty) {}
  ~FakeEngine() override { Stop(); }
  bool Start() { return PeerWindow::Start("ZkFakeEngine"); }
  void Post(uint32_t code, intptr_t value) const { PostMessageA(zktty_, registered, code, value); }
  void Announce() const { Post(0x8000, reinterpret_cast<intptr_t>(window())); }
  void Receive(const std::string& text) const;  // code 0x8003 for each character
  std::string Caption() const;
  const UINT registered = RegisterWindowMessageA("MMTTY");

 private:
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  HWND zktty_;
};

// A terminal as the engine program sees it: it links with the engine of one process
// (the announcement of a window of that process), records every code and value the
// engine sends with the time it came, and posts the terminal's requests.
class FakeTerminal : public PeerWindow {
 public:
  struct Message {
    double ms;
    uint32_t code;
    intptr_t value;
  };
  explicit FakeTerminal(DWORD engineProcess) : engineProcess_(engineProcess) {}
  ~FakeTerminal() override { Stop(); }
  bool Start() { return PeerWindow::Start("ZkFakeTerminal"); }
  // The engine's window once it has announced itself, waited for.
  HWND WaitForEngine(int ms = 15000) const;
  double linkedMs() const { return linkedMs_; }  // when the answer was posted
  void Post(uint32_t code, intptr_t value) const { PostMessageA(engine_, registered, code, value); }
  std::vector<Message> Messages() const;
  // The characters (code 0x8003) so far, or up to the first end of a transmission (0x8004):
  // what a transmission echoed, without what an engine that hears itself decodes after it.
  std::string Text(bool untilEnd = false) const;
  std::string TextUntilEnd() const { return Text(true); }
  const UINT registered = RegisterWindowMessageA("MMTTY");

 private:
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  DWORD engineProcess_;
  std::atomic<HWND> engine_{nullptr};
  std::atomic<double> linkedMs_{0};
  mutable std::mutex mutex_;
  std::vector<Message> messages_;
};

}  // namespace testbed
