#include "common/serial_line.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace zk {
namespace sim {
namespace {

speed_t NearestSpeed(double baud) {
  struct Rate {
    double baud;
    speed_t code;
  };
  static const Rate kRates[] = {{50, B50},       {75, B75},       {110, B110},     {300, B300},
                                {1200, B1200},   {2400, B2400},   {4800, B4800},   {9600, B9600},
                                {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};
  speed_t best = B9600;
  double bestGap = 1e18;
  for (const Rate& r : kRates) {
    const double gap = r.baud > baud ? r.baud - baud : baud - r.baud;
    if (gap < bestGap) {
      bestGap = gap;
      best = r.code;
    }
  }
  return best;
}

}  // namespace

bool SerialLine::Open(const char* path, double baud) {
  Close();
  const int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  termios tio;
  if (::tcgetattr(fd, &tio) == 0) {
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    const speed_t speed = NearestSpeed(baud);
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    ::tcsetattr(fd, TCSANOW, &tio);
  }
  fd_ = fd;
  return true;
}

bool SerialLine::OpenOwnPty(const char* link) {
  Close();
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master < 0) return false;
  const char* name = (::grantpt(master) == 0 && ::unlockpt(master) == 0) ? ::ptsname(master) : nullptr;
  const int terminal = name ? ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
  if (terminal < 0) {
    ::close(master);
    return false;
  }
  termios tio;
  if (::tcgetattr(terminal, &tio) == 0) {
    ::cfmakeraw(&tio);
    ::tcsetattr(terminal, TCSANOW, &tio);
  }
  ::unlink(link);
  if (::symlink(name, link) != 0) {
    ::close(terminal);
    ::close(master);
    return false;
  }
  std::snprintf(link_, sizeof link_, "%s", link);
  fd_ = master;
  terminalFd_ = terminal;
  return true;
}

void SerialLine::Close() {
  if (fd_ >= 0) ::close(fd_);
  if (terminalFd_ >= 0) ::close(terminalFd_);
  if (link_[0] != '\0') ::unlink(link_);
  fd_ = -1;
  terminalFd_ = -1;
  link_[0] = '\0';
}

SerialLine::Io SerialLine::ReadByte(uint8_t* b) {
  for (;;) {
    const ssize_t n = ::read(fd_, b, 1);
    if (n == 1) return Io::kDone;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Io::kWouldBlock;
    return Io::kGone;  // end of file or EIO: the other side of the pty has gone
  }
}

SerialLine::Io SerialLine::WriteByte(uint8_t b) {
  for (;;) {
    const ssize_t n = ::write(fd_, &b, 1);
    if (n == 1) return Io::kDone;
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))) return Io::kWouldBlock;
    return Io::kGone;
  }
}

}  // namespace sim
}  // namespace zk
