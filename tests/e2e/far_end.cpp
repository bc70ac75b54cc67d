#include "far_end.h"

#include <algorithm>
#include <cstring>

namespace e2e {

FarEnd::~FarEnd() { Close(); }

bool FarEnd::Open(const char* name) {
  std::string path = std::string("\\\\.\\") + name;
  handle_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) return false;
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;  // reads return at once with what is there
  SetCommTimeouts(handle_, &timeouts);
  PurgeComm(handle_, PURGE_RXCLEAR | PURGE_TXCLEAR);
  return true;
}

void FarEnd::Close() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

void FarEnd::Write(const std::string& bytes) {
  DWORD done = 0;
  if (!bytes.empty()) WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}

void FarEnd::Write(const std::vector<unsigned char>& bytes) {
  Write(std::string(bytes.begin(), bytes.end()));
}

std::string FarEnd::ReadFor(int ms) {
  std::string all;
  const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  char buffer[512];
  while (static_cast<int>(end - GetTickCount()) > 0) {
    DWORD got = 0;
    if (ReadFile(handle_, buffer, sizeof buffer, &got, nullptr) && got > 0)
      all.append(buffer, got);
    else
      Sleep(5);
  }
  return all;
}

std::string FarEnd::ReadUntil(const std::string& wanted, int ms) {
  std::string all;
  const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  char buffer[512];
  while (all.find(wanted) == std::string::npos && static_cast<int>(end - GetTickCount()) > 0) {
    DWORD got = 0;
    if (ReadFile(handle_, buffer, sizeof buffer, &got, nullptr) && got > 0)
      all.append(buffer, got);
    else
      Sleep(5);
  }
  return all;
}

std::string FarEnd::ReadCount(size_t count, int ms) {
  std::string all;
  const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  char buffer[512];
  while (all.size() < count && static_cast<int>(end - GetTickCount()) > 0) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(sizeof buffer, count - all.size()));
    if (ReadFile(handle_, buffer, want, &got, nullptr) && got > 0)
      all.append(buffer, got);
    else
      Sleep(5);
  }
  return all;
}

std::vector<unsigned char> LettersCodes(const std::string& text) {
  // ITA2 letters shift, indexed by letter.
  static const unsigned char kLetters[26] = {3,  25, 14, 9,  1,  13, 26, 20, 6,  11, 15, 18, 28,
                                             12, 24, 22, 23, 10, 5,  16, 7,  30, 19, 29, 21, 17};
  std::vector<unsigned char> codes;
  for (char c : text) {
    if (c >= 'A' && c <= 'Z') codes.push_back(kLetters[c - 'A']);
    else if (c == ' ') codes.push_back(4);
    else if (c == '\r') codes.push_back(8);
    else if (c == '\n') codes.push_back(2);
  }
  return codes;
}

}  // namespace e2e
