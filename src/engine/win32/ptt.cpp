#include "engine/win32/ptt.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstring>

namespace {

constexpr int kRigctldTimeoutMs = 1000;

class NoPtt : public zk::Ptt {
 public:
  bool Set(bool) override { return true; }
  std::string Describe() const override { return "PTT: none (VOX)"; }
};

// Holds the port for the whole run with both lines low, so nothing else keys the radio.
class SerialPtt : public zk::Ptt {
 public:
  SerialPtt(int port, bool rts) : name_("COM" + std::to_string(port)), rts_(rts) {}
  ~SerialPtt() override {
    if (port_ != INVALID_HANDLE_VALUE) {
      Set(false);
      CloseHandle(port_);
    }
  }

  bool Set(bool on) override {
    if (port_ == INVALID_HANDLE_VALUE && !Open()) return false;
    const DWORD function = rts_ ? (on ? SETRTS : CLRRTS) : (on ? SETDTR : CLRDTR);
    if (EscapeCommFunction(port_, function)) return true;
    problem_ = name_ + ": the line could not be set";
    return false;
  }

  std::string Describe() const override { return std::string("PTT: ") + (rts_ ? "RTS" : "DTR") + " of " + name_; }

 private:
  bool Open() {
    port_ =
        CreateFileA(("\\\\.\\" + name_).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port_ == INVALID_HANDLE_VALUE) {
      problem_ = name_ + " did not open";
      return false;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (GetCommState(port_, &dcb)) {
      dcb.fDtrControl = DTR_CONTROL_DISABLE;
      dcb.fRtsControl = RTS_CONTROL_DISABLE;
      SetCommState(port_, &dcb);
    }
    return true;
  }

  std::string name_;
  bool rts_;
  HANDLE port_ = INVALID_HANDLE_VALUE;
};

// One connection kept open; made again after any failure.
class RigctldPtt : public zk::Ptt {
 public:
  RigctldPtt(std::string host, int port) : host_(std::move(host)), port_(port) {}
  ~RigctldPtt() override { Disconnect(); }

  bool Set(bool on) override {
    if (socket_ == INVALID_SOCKET && !Connect()) return false;
    if (Command(on ? "T 1\n" : "T 0\n")) return true;
    Disconnect();
    return false;
  }

  std::string Describe() const override { return "PTT: rigctld " + host_ + ":" + std::to_string(port_); }

 private:
  bool Fail(const std::string& what) {
    problem_ = "rigctld at " + host_ + ":" + std::to_string(port_) + ": " + what;
    Disconnect();
    return false;
  }

  bool Connect() {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host_.c_str(), std::to_string(port_).c_str(), &hints, &found) != 0 || !found)
      return Fail("the host is not known");
    socket_ = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    const bool connected =
        socket_ != INVALID_SOCKET && ConnectWithin(found->ai_addr, static_cast<int>(found->ai_addrlen));
    freeaddrinfo(found);
    if (!connected) return Fail("no connection");
    const DWORD timeout = kRigctldTimeoutMs;
    setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    return true;
  }

  // A daemon that is not there must not hold the modem thread for long.
  bool ConnectWithin(const sockaddr* address, int length) {
    u_long nonBlocking = 1;
    ioctlsocket(socket_, FIONBIO, &nonBlocking);
    connect(socket_, address, length);
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket_, &writable);
    FD_SET(socket_, &failed);
    timeval limit{kRigctldTimeoutMs / 1000, (kRigctldTimeoutMs % 1000) * 1000};
    const bool ready = select(0, nullptr, &writable, &failed, &limit) == 1 && FD_ISSET(socket_, &writable);
    u_long blocking = 0;
    ioctlsocket(socket_, FIONBIO, &blocking);
    return ready;
  }

  // Sends a set command and reads its one-line answer, which must be "RPRT 0".
  bool Command(const char* text) {
    const int length = static_cast<int>(std::strlen(text));
    if (send(socket_, text, length, 0) != length) return Fail("the command was not sent");
    std::string answer;
    char c = 0;
    while (answer.size() < 64 && recv(socket_, &c, 1, 0) == 1 && c != '\n') answer.push_back(c);
    if (c != '\n') return Fail("no answer");
    if (answer != "RPRT 0") return Fail("answered \"" + answer + "\"");
    problem_.clear();
    return true;
  }

  void Disconnect() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    socket_ = INVALID_SOCKET;
  }

  std::string host_;
  int port_;
  SOCKET socket_ = INVALID_SOCKET;
};

}  // namespace

std::unique_ptr<zk::Ptt> MakePtt(const zk::EngineSettings& s) {
  switch (s.ptt) {
    case zk::PttKind::kRts: return std::make_unique<SerialPtt>(s.pttPort, true);
    case zk::PttKind::kDtr: return std::make_unique<SerialPtt>(s.pttPort, false);
    case zk::PttKind::kRigctld: return std::make_unique<RigctldPtt>(s.rigctldHost, s.rigctldPort);
    case zk::PttKind::kNone: break;
  }
  return std::make_unique<NoPtt>();
}

bool StartNetworking() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}
