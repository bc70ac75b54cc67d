#pragma once
#include <cstdint>

namespace zk {
namespace sim {

// The simulator's end of a serial line: a pseudo-terminal (or a real port) opened
// non-blocking in raw mode. Pacing is the caller's business; a pty paces nothing.
class SerialLine {
 public:
  enum class Io { kDone, kWouldBlock, kGone };

  SerialLine() = default;
  SerialLine(const SerialLine&) = delete;
  SerialLine& operator=(const SerialLine&) = delete;
  ~SerialLine() { Close(); }

  // Opens path and puts a terminal into raw mode at the nearest standard speed (a pty
  // ignores the speed). Returns false with errno set when the device is not there.
  bool Open(const char* path, double baud);
  // Makes a new pty, links `link` to its terminal side and keeps that side open in raw
  // mode too, so the program that opens the link may close and reopen it without
  // ending the line. Reads and writes then go through the pty's master side.
  bool OpenOwnPty(const char* link);
  void Close();
  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  Io ReadByte(uint8_t* b);
  Io WriteByte(uint8_t b);

 private:
  int fd_ = -1;
  int terminalFd_ = -1;  // the held terminal side of an own pty
  char link_[256] = "";
};

}  // namespace sim
}  // namespace zk
