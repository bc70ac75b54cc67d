#include <windows.h>

#include "base/replace_file.h"

namespace zk {

bool ReplaceFileWith(const char* temporaryPath, const char* targetPath) {
  // MoveFileEx replaces an existing target, which the C library's rename refuses on Windows.
  if (MoveFileExA(temporaryPath, targetPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
  DeleteFileA(temporaryPath);
  return false;
}

}  // namespace zk
