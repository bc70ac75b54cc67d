#include <cstdio>

#include "base/replace_file.h"

namespace zk {

bool ReplaceFileWith(const char* temporaryPath, const char* targetPath) {
  if (std::rename(temporaryPath, targetPath) == 0) return true;
  std::remove(temporaryPath);
  return false;
}

}  // namespace zk
