#pragma once
#include <string>

namespace zk {

// Moves the finished temporary file over the target in one step, so that a crash
// never leaves half a settings or function-key file. Returns false on failure (the
// temporary file is then removed).
bool ReplaceFileWith(const char* temporaryPath, const char* targetPath);

// Writes `text` to "<path>.tmp" in text mode and moves it over `path` with
// ReplaceFileWith; false when nothing was saved.
bool WriteFileReplacing(const char* path, const std::string& text);

}  // namespace zk
