#include "engine/win32/modem_window.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/win32/band_list.h"
#include "engine/win32/displays.h"
#include "engine/win32/settings_dialog.h"
#include "engine/win32/zkmodem_resource.h"

namespace {

constexpr unsigned kBandEvery = 2;  // the band list is shown every this many updates
const char* const kBauds[] = {"45.45", "50", "75", "100"};
const char* const kShifts[] = {"170", "200", "425", "850"};

std::string Format(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", v);
  return text;
}

// Selects `current` in a drop-down list of `choices`, adding it when it is not one of them.
template <size_t N>
void SelectChoice(HWND list, const char* const (&choices)[N], const std::string& current) {
  SendMessageA(list, CB_RESETCONTENT, 0, 0);
  for (const char* c : choices) SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(c));
  LRESULT at =
      SendMessageA(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(current.c_str()));
  if (at == CB_ERR) at = SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(current.c_str()));
  SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
}

std::string Selected(HWND list) {
  char text[64] = "";
  const LRESULT at = SendMessageA(list, CB_GETCURSEL, 0, 0);
  if (at != CB_ERR &&
      SendMessageA(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(at), 0) < static_cast<LRESULT>(sizeof text))
    SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(text));
  return text;
}

std::string IniPath() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  char* slash = n > 0 && n < MAX_PATH ? std::strrchr(path, '\\') : nullptr;
  return slash ? std::string(path, slash + 1) + "zkmodem.ini" : "zkmodem.ini";
}

}  // namespace

bool ModemWindow::Create(int showCommand) {
  message_ = RegisterWindowMessageA(zk::engine::kMessageName);
  iniPath_ = IniPath();
  zk::ReadEngineSettingsFile(settings_, iniPath_.c_str());
  if (!CreateDialogParamA(instance_, MAKEINTRESOURCEA(IDD_ZKMODEM), nullptr, Proc, reinterpret_cast<LPARAM>(this)))
    return false;
  HICON icon = LoadIconA(instance_, MAKEINTRESOURCEA(IDI_ZKMODEM));
  SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  // Up is up: an up-down control's own range runs from 100 down to 0.
  SendDlgItemMessageA(window_, IDC_SQUELCH_SPIN, UDM_SETRANGE32, static_cast<WPARAM>(zk::kSquelchDbLow),
                      zk::kSquelchDbHigh);
  waterfall_ = GetDlgItem(window_, IDC_WATERFALL);
  level_ = GetDlgItem(window_, IDC_LEVEL);
  list_ = GetDlgItem(window_, IDC_BAND_LIST);
  tuning_.window = GetDlgItem(window_, IDC_TUNING);
  devices_.window = GetDlgItem(window_, IDC_DEVICES);
  state_.window = GetDlgItem(window_, IDC_STATE);
  SetUpBandList(list_);
  ShowSettings();
  ShowBandList(settings_.bandList);
  PlaceWindow();
  ShowWindow(window_, showCommand);
  OnSize(IsIconic(window_) ? SIZE_MINIMIZED : SIZE_RESTORED);
  return modem_.Start(window_, message_, startedByTerminal_, settings_);
}

INT_PTR CALLBACK ModemWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    reinterpret_cast<ModemWindow*>(lParam)->window_ = window;
    return TRUE;
  }
  auto* self = reinterpret_cast<ModemWindow*>(GetWindowLongPtrA(window, DWLP_USER));
  return self ? self->OnMessage(message, wParam, lParam) : FALSE;
}

INT_PTR ModemWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  // A registered message is no constant, so it is told apart before the switch.
  if (message_ != 0 && message == message_) {
    modem_.FromTerminal(wParam, lParam);
    return TRUE;
  }
  switch (message) {
    case WM_COMMAND: OnCommand(wParam); return TRUE;
    case WM_NOTIFY: return OnNotify(*reinterpret_cast<NMHDR*>(lParam));
    case WM_MODEM_UPDATE: OnUpdate(); return TRUE;
    case WM_SIZE: OnSize(wParam); return TRUE;
    case WM_WATERFALL_TUNE: OnTune(lParam); return TRUE;
    case WM_CLOSE: DestroyWindow(window_); return TRUE;
    case WM_DESTROY: OnDestroy(); return TRUE;
  }
  return FALSE;
}

void ModemWindow::OnCommand(WPARAM wParam) {
  const int id = LOWORD(wParam), code = HIWORD(wParam);
  zk::EngineSettings candidate = settings_;
  const bool checked = IsDlgButtonChecked(window_, id) == BST_CHECKED;
  switch (id) {
    case IDC_AFC: candidate.afc = checked; break;
    case IDC_SQUELCH: candidate.squelch = checked; break;
    case IDC_REVERSE: candidate.reverse = checked; break;
    case IDC_SQUELCH_DB:
      // Typed or spun; a level half typed ("-") waits for the rest.
      if (code != EN_CHANGE || !zk::SetEngineSetting(candidate, "squelchdb", Text(id).c_str())) return;
      if (candidate.squelchDb == settings_.squelchDb) return;
      break;
    case IDC_BAUD:
    case IDC_SHIFT:
      if (code != CBN_SELCHANGE) return;
      zk::SetEngineSetting(candidate, id == IDC_BAUD ? "baud" : "shift", Selected(GetDlgItem(window_, id)).c_str());
      break;
    case IDC_SETTINGS: OpenSettings(); return;
    case IDC_BAND_SHOWN:
      settings_.bandList = checked;
      SaveSettings();
      modem_.SetBandList(checked);  // the receiver goes on undisturbed
      ShowBandList(checked);
      return;
    default: return;
  }
  Change(candidate);
}

INT_PTR ModemWindow::OnNotify(NMHDR& header) {
  if (header.idFrom == IDC_BAND_LIST && header.code == LVN_GETDISPINFOA) {
    GiveBandCell(band_, reinterpret_cast<NMLVDISPINFOA&>(header));
    return TRUE;
  }
  if (header.idFrom == IDC_BAND_LIST && header.code == NM_CUSTOMDRAW) {
    const bool anySilent = std::any_of(band_.begin(), band_.end(), [](const zk::BandRow& r) { return !r.open; });
    const LRESULT result = DrawBandRow(reinterpret_cast<NMLVCUSTOMDRAW&>(header), anySilent);
    // The default needs no answer; an answer costs a call to the window system under Wine.
    if (result == CDRF_DODEFAULT) return FALSE;
    SetWindowLongPtrA(window_, DWLP_MSGRESULT, result);
    return TRUE;
  }
  if (header.idFrom == IDC_BAND_LIST && header.code == NM_DBLCLK) {
    const int item = reinterpret_cast<const NMITEMACTIVATE&>(header).iItem;
    if (item >= 0 && static_cast<size_t>(item) < band_.size()) TuneTo(band_[static_cast<size_t>(item)]);
    return TRUE;
  }
  if (header.idFrom != IDC_SQUELCH_SPIN || header.code != UDN_DELTAPOS) return FALSE;
  // The arrows step the level to the next whole decibel from where it is; the window writes
  // the box itself, so the control's own position never matters.
  const int delta = reinterpret_cast<const NMUPDOWN&>(header).iDelta;
  const double level = settings_.squelchDb;
  zk::EngineSettings candidate = settings_;
  const double stepped = delta > 0 ? std::floor(level) + delta : std::ceil(level) + delta;
  if (zk::SetEngineSetting(candidate, "squelchdb", Format(stepped).c_str())) Change(candidate);
  SetWindowLongPtrA(window_, DWLP_MSGRESULT, TRUE);  // the control keeps its position
  return TRUE;
}

void ModemWindow::OpenSettings() {
  zk::EngineSettings candidate = settings_;
  if (EditSettings(instance_, window_, &candidate)) Change(candidate);
}

// Takes new settings when the tones fit; the controls show what holds either way.
bool ModemWindow::Change(const zk::EngineSettings& candidate) {
  const bool usable = zk::TonesFit(candidate);
  if (usable) {
    settings_ = candidate;
    SaveSettings();
    modem_.Apply(settings_);
  }
  ShowSettings();
  return usable;
}

// A click on a listed signal's tones tunes to that signal, anywhere else to where it fell.
void ModemWindow::OnTune(LPARAM hz) {
  if (const zk::BandRow* row = zk::SignalAt(band_, static_cast<double>(hz))) return TuneTo(*row);
  SelectBandRow(list_, band_, 0);
  zk::EngineSettings candidate = settings_;
  candidate.mark = static_cast<double>(hz);
  if (!zk::TonesFit(candidate)) return;
  settings_ = candidate;
  SaveSettings();
  modem_.SetMark(candidate.mark);
}

// The session tunes to the signal where it is by then; the mark saved is where the row had it.
void ModemWindow::TuneTo(const zk::BandRow& row) {
  zk::EngineSettings candidate = settings_;
  candidate.mark = std::round(row.markHz);
  if (!zk::TonesFit(candidate)) return;
  settings_ = candidate;
  SaveSettings();
  SelectBandRow(list_, band_, row.id);
  modem_.TuneTo(row.id);
}

void ModemWindow::ShowBandList(bool shown) {
  CheckDlgButton(window_, IDC_BAND_SHOWN, shown ? BST_CHECKED : BST_UNCHECKED);
  ShowWindow(list_, shown ? SW_SHOW : SW_HIDE);
  ShowWindow(GetDlgItem(window_, IDC_BAND_HINT), shown ? SW_SHOW : SW_HIDE);
  if (!shown) ShowBand({});
  OnSize(IsIconic(window_) ? SIZE_MINIMIZED : SIZE_RESTORED);
}

void ModemWindow::ShowBand(const std::vector<zk::BandRow>& rows) {
  const std::vector<zk::BandRow> shown = std::move(band_);
  band_ = rows;  // first: the list asks for the text of the rows it is given
  ShowBandRows(list_, shown, band_);
  std::vector<WaterfallSignal> marks;
  for (const zk::BandRow& row : rows) marks.push_back({row.markHz, row.spaceHz, row.open});
  SetWaterfallSignals(waterfall_, marks);
}

void ModemWindow::ShowSettings() {
  CheckDlgButton(window_, IDC_AFC, settings_.afc ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(window_, IDC_SQUELCH, settings_.squelch ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(window_, IDC_REVERSE, settings_.reverse ? BST_CHECKED : BST_UNCHECKED);
  SelectChoice(GetDlgItem(window_, IDC_BAUD), kBauds, Format(settings_.baud));
  SelectChoice(GetDlgItem(window_, IDC_SHIFT), kShifts, Format(settings_.shift));
  ShowSquelchLevel();
}

// The level is written again only when the box says another, so typing is not disturbed.
void ModemWindow::ShowSquelchLevel() {
  zk::EngineSettings shown = settings_;
  if (!zk::SetEngineSetting(shown, "squelchdb", Text(IDC_SQUELCH_DB).c_str()) || shown.squelchDb != settings_.squelchDb)
    SetDlgItemTextA(window_, IDC_SQUELCH_DB, Format(settings_.squelchDb).c_str());
  EnableWindow(GetDlgItem(window_, IDC_SQUELCH_DB), settings_.squelch);
  EnableWindow(GetDlgItem(window_, IDC_SQUELCH_SPIN), settings_.squelch);
}

// The status and the waterfall's rows, about ten times a second while the window is seen.
void ModemWindow::OnUpdate() {
  std::vector<std::vector<uint8_t>> rows;
  const zk::EngineStatus status = modem_.Take(&rows);
  if (!visible_) return;
  AddWaterfallRows(waterfall_, rows);
  ShowStatus(status);
}

void ModemWindow::ShowStatus(const zk::EngineStatus& s) {
  const double space = settings_.reverse ? s.markHz - settings_.shift : s.markHz + settings_.shift;
  char tuning[160];
  std::snprintf(tuning, sizeof tuning, "Mark %.0f Hz    Space %.0f Hz    SNR %s    %s", s.markHz, space,
                s.snrDb > -99 ? (Format(std::round(s.snrDb)) + " dB").c_str() : "-",
                s.transmitting ? "Transmitting" : "Receiving");
  tuning_.Set(tuning);
  devices_.Set(s.input + "    " + s.output + "    " + s.ptt);
  const char* link = s.linked             ? "Linked with the terminal."
                     : startedByTerminal_ ? "Waiting for the terminal to answer."
                                          : "Running on its own.";
  state_.Set(s.problem.empty() ? link : s.problem);
  SetWaterfallMarkers(waterfall_, s.markHz, space);
  SetLevel(level_, s.peak);
  // Every other update: a station's text grows by a character or two each time, and each
  // repaint of the list costs as much as one of the waterfall.
  if (settings_.bandList && (++updates_ % kBandEvery == 0 || s.band.size() != band_.size())) ShowBand(s.band);
}

std::string ModemWindow::Text(int id) const {
  char text[512] = "";
  GetDlgItemTextA(window_, id, text, sizeof text);
  return text;
}

void ModemWindow::Label::Set(const std::string& now) {
  if (now == text) return;
  text = now;
  SetWindowTextA(window, now.c_str());
}

void ModemWindow::OnSize(WPARAM kind) {
  const bool visible = kind != SIZE_MINIMIZED;
  if (visible != visible_) {
    visible_ = visible;
    modem_.SetVisible(visible);
  }
  if (!visible) return;
  // In dialog units: the margin, the foot of the controls, the check box's row and the
  // list's least height; then the check box's and the hint's heights.
  RECT unit{4, 58, 14, 40}, text{10, 8, 0, 0};
  MapDialogRect(window_, &unit);
  MapDialogRect(window_, &text);
  RECT client;
  GetClientRect(window_, &client);
  const LONG margin = unit.left, top = unit.top, row = unit.right, right = client.right - margin;
  const LONG list = settings_.bandList ? std::max(unit.bottom, (client.bottom - top) * 3 / 10) : 0;
  const LONG listTop = client.bottom - margin - list, rowTop = listTop - row;
  Place(IDC_WATERFALL, top, rowTop - top, right);
  Place(IDC_BAND_SHOWN, rowTop + (row - text.left) / 2, text.left, 0);
  Place(IDC_BAND_HINT, rowTop + (row - text.top) / 2, text.top, right);
  Place(IDC_BAND_LIST, listTop, list, right);
  FitBandColumns(list_);
}

// At its own left edge, to `right` (0: as wide as it is).
void ModemWindow::Place(int id, LONG top, LONG height, LONG right) {
  HWND control = GetDlgItem(window_, id);
  RECT at;
  GetWindowRect(control, &at);
  MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&at), 2);
  MoveWindow(control, at.left, top, std::max(10L, (right ? right : at.right) - at.left), std::max(4L, height), TRUE);
}

void ModemWindow::OnDestroy() {
  modem_.Stop();
  SaveSettings();
  PostQuitMessage(0);
}

void ModemWindow::PlaceWindow() {
  const int* loc = settings_.windowLoc;
  if (loc[2] - loc[0] >= 300 && loc[3] - loc[1] >= 200)
    SetWindowPos(window_, nullptr, loc[0], loc[1], loc[2] - loc[0], loc[3] - loc[1], SWP_NOZORDER | SWP_NOACTIVATE);
}

void ModemWindow::SaveSettings() {
  RECT r;
  if (!IsIconic(window_) && GetWindowRect(window_, &r)) {
    const int loc[4] = {r.left, r.top, r.right, r.bottom};
    std::memcpy(settings_.windowLoc, loc, sizeof loc);
  }
  zk::WriteEngineSettingsFile(settings_, iniPath_.c_str());
}
