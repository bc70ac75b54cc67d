#pragma once
#include <string>

namespace zk {

// Turns the teleprinter's CR LF (or either alone) into one '\n', as text arrives.
class LineEndings {
 public:
  void Append(char ch, std::string& out) {
    const bool afterCr = afterCr_;
    afterCr_ = ch == '\r';
    if (ch == '\r') {
      out.push_back('\n');
    } else if (ch != '\n' || !afterCr) {
      out.push_back(ch);
    }
  }

 private:
  bool afterCr_ = false;
};

}  // namespace zk
