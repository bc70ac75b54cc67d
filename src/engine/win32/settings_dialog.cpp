#include "engine/win32/settings_dialog.h"

#include <cstdio>
#include <string>
#include <vector>

#include "engine/win32/wave_audio.h"
#include "engine/win32/zkmodem_resource.h"

namespace {

constexpr char kDefaultDevice[] = "(default device)";
const char* const kRates[] = {"8000", "11025", "16000", "22050", "32000", "44100", "48000"};
const char* const kStops[] = {"1", "1.5", "2"};
constexpr int kPttButtons[] = {IDC_PTT_NONE, IDC_PTT_RTS, IDC_PTT_DTR, IDC_PTT_RIGCTLD};
constexpr int kComPorts = 32;

std::string Text(HWND dialog, int id) {
  char text[512] = "";
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", v);
  return text;
}

// Fills a drop-down list and selects `current`, added when it is not among the choices.
void FillList(HWND dialog, int id, const std::vector<std::string>& choices, const std::string& current) {
  HWND list = GetDlgItem(dialog, id);
  for (const std::string& c : choices) SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(c.c_str()));
  LRESULT at =
      SendMessageA(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(current.c_str()));
  if (at == CB_ERR) at = SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(current.c_str()));
  SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
}

std::vector<std::string> WithDefault(std::vector<std::string> names) {
  names.insert(names.begin(), kDefaultDevice);
  return names;
}

void Fill(HWND dialog, const zk::EngineSettings& s) {
  FillList(dialog, IDC_IN_DEVICE, WithDefault(InputDeviceNames()), s.inDevice.empty() ? kDefaultDevice : s.inDevice);
  FillList(dialog, IDC_OUT_DEVICE, WithDefault(OutputDeviceNames()),
           s.outDevice.empty() ? kDefaultDevice : s.outDevice);
  FillList(dialog, IDC_SAMPLE_RATE, {std::begin(kRates), std::end(kRates)}, std::to_string(s.sampleRate));
  FillList(dialog, IDC_STOP_BITS, {std::begin(kStops), std::end(kStops)}, Number(s.stopBits));
  std::vector<std::string> ports;
  for (int i = 1; i <= kComPorts; ++i) ports.push_back("COM" + std::to_string(i));
  FillList(dialog, IDC_PTT_PORT, ports, "COM" + std::to_string(s.pttPort));
  SetDlgItemTextA(dialog, IDC_TX_LEVEL, std::to_string(s.txLevel).c_str());
  SetDlgItemTextA(dialog, IDC_MARK, Number(s.mark).c_str());
  SetDlgItemTextA(dialog, IDC_RIGCTLD_HOST, s.rigctldHost.c_str());
  SetDlgItemTextA(dialog, IDC_RIGCTLD_PORT, std::to_string(s.rigctldPort).c_str());
  SetDlgItemTextA(dialog, IDC_RX_FILE, s.rxFile.c_str());
  SetDlgItemTextA(dialog, IDC_TX_FILE, s.txFile.c_str());
  CheckRadioButton(dialog, IDC_PTT_NONE, IDC_PTT_RIGCTLD, kPttButtons[static_cast<int>(s.ptt)]);
}

const char* PttOf(HWND dialog) {
  for (int i = 0; i < 4; ++i)
    if (IsDlgButtonChecked(dialog, kPttButtons[i]) == BST_CHECKED) return zk::PttKindName(static_cast<zk::PttKind>(i));
  return "none";
}

// Stores every field through the file's checks; names the first one refused.
bool Store(HWND dialog, zk::EngineSettings* settings) {
  zk::EngineSettings draft = *settings;
  const auto device = [&](int id) {
    const std::string t = Text(dialog, id);
    return t == kDefaultDevice ? "" : t;
  };
  const struct {
    const char* key;
    std::string value;
    int control;
  } fields[] = {
      {"indevice", device(IDC_IN_DEVICE), IDC_IN_DEVICE},
      {"outdevice", device(IDC_OUT_DEVICE), IDC_OUT_DEVICE},
      {"samplerate", Text(dialog, IDC_SAMPLE_RATE), IDC_SAMPLE_RATE},
      {"txlevel", Text(dialog, IDC_TX_LEVEL), IDC_TX_LEVEL},
      {"mark", Text(dialog, IDC_MARK), IDC_MARK},
      {"stopbits", Text(dialog, IDC_STOP_BITS), IDC_STOP_BITS},
      {"ptt", PttOf(dialog), IDC_PTT_NONE},
      {"pttport", Text(dialog, IDC_PTT_PORT), IDC_PTT_PORT},
      {"rigctldhost", Text(dialog, IDC_RIGCTLD_HOST), IDC_RIGCTLD_HOST},
      {"rigctldport", Text(dialog, IDC_RIGCTLD_PORT), IDC_RIGCTLD_PORT},
      {"rxfile", Text(dialog, IDC_RX_FILE), IDC_RX_FILE},
      {"txfile", Text(dialog, IDC_TX_FILE), IDC_TX_FILE},
  };
  for (const auto& f : fields) {
    if (zk::SetEngineSetting(draft, f.key, f.value.c_str())) continue;
    MessageBoxA(dialog, ("\"" + f.value + "\" is not a usable value here.").c_str(), "zkmodem settings",
                MB_OK | MB_ICONEXCLAMATION);
    SetFocus(GetDlgItem(dialog, f.control));
    return false;
  }
  const std::string problem = zk::CheckModemSettings(zk::ModemSettingsOf(draft, 8000));
  if (!problem.empty()) {
    MessageBoxA(dialog, ("With this mark, " + problem + ".").c_str(), "zkmodem settings", MB_OK | MB_ICONEXCLAMATION);
    SetFocus(GetDlgItem(dialog, IDC_MARK));
    return false;
  }
  *settings = draft;
  return true;
}

INT_PTR CALLBACK SettingsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* settings = reinterpret_cast<zk::EngineSettings*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      Fill(dialog, *reinterpret_cast<zk::EngineSettings*>(lParam));
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK && Store(dialog, settings)) EndDialog(dialog, IDOK);
      if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, IDCANCEL);
      return TRUE;
  }
  return FALSE;
}

}  // namespace

bool EditSettings(HINSTANCE instance, HWND owner, zk::EngineSettings* settings) {
  zk::EngineSettings draft = *settings;
  if (DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ZKMODEM_SETTINGS), owner, SettingsProc,
                      reinterpret_cast<LPARAM>(&draft)) != IDOK)
    return false;
  *settings = draft;
  return true;
}
