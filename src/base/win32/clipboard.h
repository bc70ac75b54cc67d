// Text on the clipboard (CF_TEXT), for the panes' copy and paste.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>

// Puts `length` bytes of `text` on the clipboard, replacing what it held; `owner` is the
// window that opens it. Nothing happens when the clipboard cannot be opened.
void PutTextOnClipboard(HWND owner, const char* text, size_t length);

// The clipboard's text, empty when it holds none. Never reads past the block's size,
// whatever the terminator.
std::string TextOnClipboard(HWND owner);
