#include "testbed/win32/list_view.h"

#include <commctrl.h>

#include <cstring>

namespace testbed {
namespace {

// A page in the list's process, freed with it.
class Lent {
 public:
  explicit Lent(HWND list) {
    DWORD id = 0;
    GetWindowThreadProcessId(list, &id);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, id);
    if (process_) at_ = static_cast<char*>(VirtualAllocEx(process_, nullptr, kSize, MEM_COMMIT, PAGE_READWRITE));
  }
  ~Lent() {
    if (at_) VirtualFreeEx(process_, at_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
  }
  bool ok() const { return at_ != nullptr; }
  char* at(size_t offset) const { return at_ + offset; }
  void Put(size_t offset, const void* data, size_t n) { WriteProcessMemory(process_, at_ + offset, data, n, nullptr); }
  void Get(size_t offset, void* data, size_t n) const { ReadProcessMemory(process_, at_ + offset, data, n, nullptr); }

  static constexpr size_t kSize = 4096;

 private:
  HANDLE process_ = nullptr;
  char* at_ = nullptr;
};

std::string Cell(HWND list, Lent& lent, int row, int column) {
  char text[256] = "";
  LVITEMA item{};
  item.iSubItem = column;
  item.pszText = lent.at(sizeof item);
  item.cchTextMax = sizeof text;
  lent.Put(0, &item, sizeof item);
  SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(lent.at(0)));
  lent.Get(sizeof item, text, sizeof text - 1);
  return text;
}

}  // namespace

std::vector<std::vector<std::string>> ListRows(HWND list) {
  Lent lent(list);
  std::vector<std::vector<std::string>> rows;
  HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
  const int columns = static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
  const int count = lent.ok() ? static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)) : 0;
  for (int r = 0; r < count; ++r) {
    rows.emplace_back();
    for (int c = 0; c < columns; ++c) rows.back().push_back(Cell(list, lent, r, c));
  }
  return rows;
}

bool DoubleClickRow(HWND list, int row) {
  Lent lent(list);
  RECT bounds{LVIR_BOUNDS, 0, 0, 0};
  if (!lent.ok()) return false;
  lent.Put(0, &bounds, sizeof bounds);
  if (!SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(lent.at(0))))
    return false;
  lent.Get(0, &bounds, sizeof bounds);
  const LPARAM at = MAKELPARAM(bounds.left + 20, (bounds.top + bounds.bottom) / 2);
  for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
    PostMessageA(list, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, at);
  return true;
}

}  // namespace testbed
