#include "base/win32/clipboard.h"

#include <cstring>

void PutTextOnClipboard(HWND owner, const char* text, size_t length) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_DDESHARE, length + 1);
  if (!block) return;
  char* data = static_cast<char*>(GlobalLock(block));
  if (!data) {
    GlobalFree(block);
    return;
  }
  std::memcpy(data, text, length);
  data[length] = '\0';
  GlobalUnlock(block);
  if (!OpenClipboard(owner)) {
    GlobalFree(block);
    return;
  }
  EmptyClipboard();
  if (!SetClipboardData(CF_TEXT, block)) GlobalFree(block);
  CloseClipboard();
}

std::string TextOnClipboard(HWND owner) {
  if (!OpenClipboard(owner)) return std::string();
  std::string copy;
  HANDLE data = GetClipboardData(CF_TEXT);
  const char* text = data ? static_cast<const char*>(GlobalLock(data)) : nullptr;
  if (text) {
    // A clipboard block is at least as long as its text; never read past its size.
    const size_t size = GlobalSize(data);
    size_t n = 0;
    while (n < size && text[n] != '\0') ++n;
    copy.assign(text, n);
    GlobalUnlock(data);
  }
  CloseClipboard();
  return copy;
}
