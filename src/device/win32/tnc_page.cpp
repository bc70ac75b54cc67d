// The TNC page: the command strings in the escape notation, the TNC's command prompt,
// the receive-mode character and the ignore character of message files.
#include <array>

#include "base/win32/property_page.h"
#include "device/setup_rules.h"
#include "device/win32/device_pages.h"
#include "resources/resource.h"

namespace {

constexpr int kRxModeTypedSize = 25;

struct TextField {
  int id;
  char* field;
  int capacity;
};

template <size_t N>
TextField Field(int id, char (&field)[N]) {
  return TextField{id, field, static_cast<int>(N)};
}

// The five texts stored as typed (no escapes resolved), each with its field.
std::array<TextField, 5> Texts(zk::TncStrings& tnc) {
  return {Field(IDC_TNC_INIT, tnc.init), Field(IDC_TNC_TX, tnc.transmit), Field(IDC_TNC_RX, tnc.receive),
          Field(IDC_TNC_COMMAND, tnc.command), Field(IDC_TNC_IGNORE, tnc.ignore)};
}

void Fill(HWND page) {
  zk::TncStrings& tnc = PageContext<DevicePagesContext>(page).draft.tnc;
  for (const TextField& f : Texts(tnc)) SetDlgItemTextA(page, f.id, f.field);
  SetDlgItemTextA(page, IDC_TNC_RXMODECHAR, zk::FormatRxModeChar(tnc.receiveModeChar).text);
}

// Each text is cut at its field's capacity less one; the character goes through the
// escape notation.
void Store(HWND page) {
  DevicePagesContext& context = PageContext<DevicePagesContext>(page);
  zk::TncStrings& tnc = context.draft.tnc;
  for (const TextField& f : Texts(tnc)) GetDlgItemTextA(page, f.id, f.field, f.capacity);
  char typed[kRxModeTypedSize] = "";
  GetDlgItemTextA(page, IDC_TNC_RXMODECHAR, typed, sizeof typed);
  tnc.receiveModeChar = zk::ParseRxModeChar(typed);
  context.host.ApplyTncPage(context.draft);
}

constexpr PageNotices kNotices{Store, Fill, 3};  // the number is its help context

INT_PTR CALLBACK TncPageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      KeepPageContext(page, lParam);
      Fill(page);
      return TRUE;
    case WM_NOTIFY: return AnswerPageNotice(page, lParam, kNotices);
    default: return FALSE;
  }
}

}  // namespace

PROPSHEETPAGEA TncPage(HINSTANCE instance, DevicePagesContext& context) {
  return MakePropertyPage(instance, IDD_TNC_PAGE, TncPageProc, "TNC settings", &context);
}
