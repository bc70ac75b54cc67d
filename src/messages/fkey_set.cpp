#include "messages/fkey_set.h"

#include <cstring>

#include "base/fixed_text.h"

namespace zk {

FKeySet DefaultFKeySet() {
  FKeySet set;
  std::memset(&set, 0, sizeof set);
  // F1 holds a real carriage return before the "\s" escape, not the "\r" escape.
  CopyText(set.messages[0], "<F1  CQ> -\\tcq cq cq de (MYCALL) (MYCALL) (MYCALL) k\r\\s");
  CopyText(set.messages[1], "<F2  My call> (mycall)");
  CopyText(set.messages[3], "<F4  TU> -\\t(HISCALL) tu (HISRST) (HISRST) (MYCALL)\\s");
  CopyText(set.messages[4], "<F5  Exchange> (hiscall) de (mycall)");
  return set;
}

}  // namespace zk
