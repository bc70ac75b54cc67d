#include <cstdio>

#include "base/replace_file.h"

namespace zk {

bool WriteFileReplacing(const char* path, const std::string& text) {
  const std::string temporary = std::string(path) + ".tmp";
  // Text mode: on Windows each "\n" goes out as the platform's CR LF.
  std::FILE* file = std::fopen(temporary.c_str(), "w");
  if (!file) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  ok = std::fclose(file) == 0 && ok;
  if (!ok) {
    std::remove(temporary.c_str());
    return false;
  }
  return ReplaceFileWith(temporary.c_str(), path);
}

}  // namespace zk
