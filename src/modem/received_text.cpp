#include "modem/received_text.h"

namespace zk {

void ReceivedText::Add(uint8_t code, int64_t end, std::string& text, std::vector<int64_t>& ends) {
  const char ch = codec_.Decode(code, ltrsOnSpace_);
  if (ch == 0) return;
  text.push_back(ch);
  ends.push_back(end);
}

}  // namespace zk
