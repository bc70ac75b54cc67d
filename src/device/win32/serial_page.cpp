// The serial port page: device type, port and line format, flow control, Baudot options
// and PTT. Its lists carry each entry's value; the rules of filling and storing are the
// core's (device/setup_rules.h).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/win32/property_page.h"
#include "device/device_link.h"
#include "device/setup_rules.h"
#include "device/win32/device_pages.h"
#include "resources/resource.h"

namespace {

constexpr int kListTextSize = 100;
constexpr int kDeviceButtons[] = {IDC_DEVICE_NONE, IDC_DEVICE_TU, IDC_DEVICE_TNC, IDC_DEVICE_ENGINE};
constexpr int kPttButtons[] = {IDC_PTT_NONE, IDC_PTT_RTS, IDC_PTT_DTR};
constexpr int kLongestPortNumber = 9999;
constexpr int32_t kLargestProbedPort = 256;

// Whether a port not listed by the system opens. As Windows documents it, a port that
// another program holds cannot be opened again (CreateFile fails with access denied), so
// that answer counts as present too.
bool PortOpens(int32_t number) {
  char path[32];
  std::snprintf(path, sizeof path, "\\\\.\\COM%d", static_cast<int>(number));
  HANDLE port = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (port != INVALID_HANDLE_VALUE) {
    CloseHandle(port);
    return true;
  }
  const DWORD error = GetLastError();
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

// Serial ports above COM8 that QueryDosDevice lists.
std::vector<int32_t> ListedPortsAbove8() {
  std::vector<char> names(64 * 1024, '\0');
  const DWORD length = QueryDosDeviceA(nullptr, names.data(), static_cast<DWORD>(names.size() - 1));
  std::vector<int32_t> ports;
  const char* const end = names.data() + (length < names.size() ? length : names.size() - 1);
  for (const char* name = names.data(); name < end && *name != '\0';
       name += strnlen(name, static_cast<size_t>(end - name)) + 1) {
    if (_strnicmp(name, "COM", 3) != 0) continue;
    char* stop = nullptr;
    const long number = std::strtol(name + 3, &stop, 10);
    if (stop != name + 3 && *stop == '\0' && number > zk::kListedPorts && number <= kLongestPortNumber)
      ports.push_back(static_cast<int32_t>(number));
  }
  return ports;
}

// Serial ports above COM8 that exist, whether or not another program has them open.
// Windows lists every port by QueryDosDevice; Wine lists only the ports its registry
// declares, while a link in the prefix's "dosdevices" folder (com10 to /dev/ttyUSB0, as
// most Linux guides make a port) opens all the same. So each name up to COM256 that is
// not listed is tried by opening it. On Windows none of those exists, and a listed port
// is never opened here: an open may raise DTR and RTS, which key many transmitters.
std::vector<int32_t> PresentPortsAbove8() {
  std::vector<int32_t> ports = ListedPortsAbove8();
  for (int32_t number = zk::kListedPorts + 1; number <= kLargestProbedPort; ++number)
    if (std::find(ports.begin(), ports.end(), number) == ports.end() && PortOpens(number)) ports.push_back(number);
  return ports;
}

HINSTANCE InstanceOf(HWND window) { return reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE)); }

void AddEntry(HWND list, const char* text, int32_t value) {
  const LRESULT at = SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  if (at >= 0) SendMessageA(list, CB_SETITEMDATA, static_cast<WPARAM>(at), static_cast<LPARAM>(value));
}

void FillStringList(HWND page, int id, int firstString, const int32_t* values, int count) {
  HWND list = GetDlgItem(page, id);
  SendMessageA(list, CB_RESETCONTENT, 0, 0);
  for (int i = 0; i < count; ++i) {
    char text[kListTextSize] = "";
    LoadStringA(InstanceOf(page), static_cast<UINT>(firstString + i), text, sizeof text);
    AddEntry(list, text, values[i]);
  }
}

void FillPortList(HWND page, const std::vector<int32_t>& ports) {
  HWND list = GetDlgItem(page, IDC_PORT_LIST);
  SendMessageA(list, CB_RESETCONTENT, 0, 0);
  char com[16] = "COM";
  LoadStringA(InstanceOf(page), IDS_COM, com, sizeof com);
  for (int32_t port : ports) {
    char text[32];
    std::snprintf(text, sizeof text, "%s%d", com, static_cast<int>(port));
    AddEntry(list, text, port);
  }
}

void FillDataBitsList(HWND page) {
  HWND list = GetDlgItem(page, IDC_DATABITS_LIST);
  SendMessageA(list, CB_RESETCONTENT, 0, 0);
  for (int i = 0; i < zk::kDataBitsEntries; ++i) {
    char text[8];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(zk::kFirstDataBits) + i);
    AddEntry(list, text, zk::kFirstDataBits + i);
  }
}

void Select(HWND page, int id, int position) {
  SendDlgItemMessageA(page, id, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

int Selected(HWND page, int id) { return static_cast<int>(SendDlgItemMessageA(page, id, CB_GETCURSEL, 0, 0)); }

void Check(HWND page, int id, bool on) { CheckDlgButton(page, id, on ? BST_CHECKED : BST_UNCHECKED); }

bool Checked(HWND page, int id) { return IsDlgButtonChecked(page, id) == BST_CHECKED; }

template <size_t N>
void CheckOne(HWND page, const int (&buttons)[N], int32_t choice) {
  for (size_t i = 0; i < N; ++i) Check(page, buttons[i], static_cast<int32_t>(i) == choice);
}

template <size_t N>
int32_t CheckedOne(HWND page, const int (&buttons)[N]) {
  for (size_t i = 0; i < N; ++i)
    if (Checked(page, buttons[i])) return static_cast<int32_t>(i);
  return -1;
}

// The port numbers as the list holds them, so a store matches what was shown.
std::vector<int32_t> ListedPorts(HWND page) {
  std::vector<int32_t> ports;
  const LRESULT count = SendDlgItemMessageA(page, IDC_PORT_LIST, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i)
    ports.push_back(
        static_cast<int32_t>(SendDlgItemMessageA(page, IDC_PORT_LIST, CB_GETITEMDATA, static_cast<WPARAM>(i), 0)));
  return ports;
}

void Fill(HWND page) {
  const zk::Settings& s = PageContext<DevicePagesContext>(page).draft;
  const std::vector<int32_t> ports = zk::PortListNumbers(PresentPortsAbove8(), s.serial.port);
  const zk::SerialPageControls c = zk::FillSerialPage(s, ports);
  FillPortList(page, ports);
  FillStringList(page, IDC_BAUD_LIST, IDS_BAUD_FIRST, zk::kBaudValues, zk::kBaudEntries);
  FillStringList(page, IDC_PARITY_LIST, IDS_PARITY_FIRST, zk::kParityValues, zk::kParityEntries);
  FillStringList(page, IDC_STOPBITS_LIST, IDS_STOP_FIRST, zk::kStopValues, zk::kStopEntries);
  FillDataBitsList(page);
  const std::pair<int, int> lists[] = {{IDC_PORT_LIST, c.port},
                                       {IDC_BAUD_LIST, c.baud},
                                       {IDC_DATABITS_LIST, c.dataBits},
                                       {IDC_PARITY_LIST, c.parity},
                                       {IDC_STOPBITS_LIST, c.stopBits}};
  for (const auto& [id, position] : lists) Select(page, id, position);
  const std::pair<int, bool> boxes[] = {{IDC_FLOW_DTRDSR, c.flowDtrDsr},       {IDC_FLOW_RTSCTS, c.flowRtsCts},
                                        {IDC_FLOW_XONXOFF, c.flowXonXoff},     {IDC_USE_BAUDOT, c.baudot},
                                        {IDC_LTRS_ON_SPACE, c.lettersOnSpace}, {IDC_USE_DIDDLE, c.diddle}};
  for (const auto& [id, on] : boxes) Check(page, id, on);
  CheckOne(page, kDeviceButtons, c.device);
  CheckOne(page, kPttButtons, c.ptt);
  SetDlgItemInt(page, IDC_PTT_DELAY, static_cast<UINT>(c.pttDelayMs), TRUE);
}

bool ReadPttDelay(HWND page, int32_t* ms) {
  char typed[32] = "";
  GetDlgItemTextA(page, IDC_PTT_DELAY, typed, sizeof typed);
  return zk::ReadPttDelay(typed, ms);
}

// The page is not left, nor the sheet closed, with a PTT delay out of its range.
bool AcceptPttDelay(HWND page) {
  int32_t ms = 0;
  if (ReadPttDelay(page, &ms)) return true;
  char text[64];
  std::snprintf(text, sizeof text, "The PTT delay must be 0 to %d ms.", static_cast<int>(zk::kMaxPttMs));
  MessageBoxA(page, text, "Set serial port", MB_ICONEXCLAMATION);
  SetFocus(GetDlgItem(page, IDC_PTT_DELAY));
  return false;
}

zk::SerialPageControls ReadControls(HWND page) {
  zk::SerialPageControls c{};
  c.device = CheckedOne(page, kDeviceButtons);
  c.port = Selected(page, IDC_PORT_LIST);
  c.baud = Selected(page, IDC_BAUD_LIST);
  c.dataBits = Selected(page, IDC_DATABITS_LIST);
  c.parity = Selected(page, IDC_PARITY_LIST);
  c.stopBits = Selected(page, IDC_STOPBITS_LIST);
  c.flowDtrDsr = Checked(page, IDC_FLOW_DTRDSR);
  c.flowRtsCts = Checked(page, IDC_FLOW_RTSCTS);
  c.flowXonXoff = Checked(page, IDC_FLOW_XONXOFF);
  c.baudot = Checked(page, IDC_USE_BAUDOT);
  c.lettersOnSpace = Checked(page, IDC_LTRS_ON_SPACE);
  c.diddle = Checked(page, IDC_USE_DIDDLE);
  c.ptt = CheckedOne(page, kPttButtons);
  c.pttDelayMs = 0;
  ReadPttDelay(page, &c.pttDelayMs);
  return c;
}

void Store(HWND page) {
  DevicePagesContext& context = PageContext<DevicePagesContext>(page);
  zk::StoreSerialPage(ReadControls(page), ListedPorts(page), context.draft);
  context.host.ApplySerialPage(context.draft);
}

INT_PTR OnInit(HWND page, LPARAM parameter) {
  KeepPageContext(page, parameter);
  PageContext<DevicePagesContext>(page).host.ReleasePtt();
  Fill(page);
  return TRUE;
}

constexpr PageNotices kNotices{Store, Fill, 2, true, AcceptPttDelay};  // 2: its help context

INT_PTR CALLBACK SerialPageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: return OnInit(page, lParam);
    case WM_NOTIFY: return AnswerPageNotice(page, lParam, kNotices);
    default: return FALSE;
  }
}

}  // namespace

PROPSHEETPAGEA SerialPortPage(HINSTANCE instance, DevicePagesContext& context) {
  return MakePropertyPage(instance, IDD_SERIAL_PAGE, SerialPageProc, "Set serial port", &context);
}
