#pragma once

namespace zk {

// Moves the finished temporary file over the target in one step, so that a crash
// never leaves half a settings or function-key file. Returns false on failure (the
// temporary file is then removed).
bool ReplaceFileWith(const char* temporaryPath, const char* targetPath);

}  // namespace zk
