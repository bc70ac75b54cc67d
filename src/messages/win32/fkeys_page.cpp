#include "messages/win32/fkeys_page.h"

#include <commdlg.h>
#include <shellapi.h>

#include <cstdio>

#include "base/clean_line.h"
#include "base/win32/property_page.h"
#include "messages/fkey_file.h"
#include "resources/resource.h"

namespace {

constexpr int kEditorCommandSize = 500;

struct FileKind {
  const char* title;
  const char* filter;  // description and pattern pairs, ended by an empty description
  const char* pattern;
};

const FileKind kFKeyFiles{"Zktty Function key files", "Zktty F-key files (*.rtm)\0*.rtm\0", "*.rtm"};
const FileKind kMessageFiles{"Zktty message files", "Zktty message files (*.rty)\0*.rty\0", "*.rty"};

FKeysPageContext& ContextOf(HWND page) { return PageContext<FKeysPageContext>(page); }

void Fill(HWND page) {
  const zk::FKeySet& set = ContextOf(page).draft;
  SetDlgItemInt(page, IDC_REPEAT_KEY, static_cast<UINT>(set.repeatKey), FALSE);
  SetDlgItemInt(page, IDC_REPEAT_SECONDS, static_cast<UINT>(set.repeatSeconds), FALSE);
  SetDlgItemTextA(page, IDC_HISRST_FORMAT, set.hisRstFormat);
  SetDlgItemTextA(page, IDC_EXCHANGE_FORMAT, set.exchangeFormat);
  for (int i = 0; i < zk::kFKeyCount; ++i) SetDlgItemTextA(page, IDC_FKEY_MESSAGE1 + i, set.messages[i]);
}

// Empty or non-numeric repeat fields read as 0; messages are cut to their field and
// cleaned, so a typed tab becomes a blank and trailing blanks go.
void Read(HWND page, zk::FKeySet& set) {
  set.repeatKey = static_cast<int32_t>(GetDlgItemInt(page, IDC_REPEAT_KEY, nullptr, FALSE));
  set.repeatSeconds = static_cast<int32_t>(GetDlgItemInt(page, IDC_REPEAT_SECONDS, nullptr, FALSE));
  GetDlgItemTextA(page, IDC_HISRST_FORMAT, set.hisRstFormat, sizeof set.hisRstFormat);
  GetDlgItemTextA(page, IDC_EXCHANGE_FORMAT, set.exchangeFormat, sizeof set.exchangeFormat);
  for (int i = 0; i < zk::kFKeyCount; ++i) {
    GetDlgItemTextA(page, IDC_FKEY_MESSAGE1 + i, set.messages[i], zk::kFKeyMessageSize);
    zk::CleanLine(set.messages[i]);
  }
}

// The file dialog, opened in the start folder. A name that does not exist is accepted
// (saving creates it); a name typed without an extension gets ".txt", added here because
// the dialogs themselves disagree (an open dialog may drop it, a save dialog may use the
// filter's). The current directory the dialog leaves behind is undone.
bool ChooseFile(HWND page, const FileKind& kind, char (&path)[MAX_PATH]) {
  char kept[MAX_PATH];
  const DWORD keptLength = GetCurrentDirectoryA(MAX_PATH, kept);
  zk::FileDialogStart(path, sizeof path, ContextOf(page).startDirectory, kind.pattern);
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = page;
  dialog.lpstrFilter = kind.filter;
  dialog.lpstrFile = path;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrTitle = kind.title;
  dialog.Flags = OFN_HIDEREADONLY;
  const bool chosen = GetOpenFileNameA(&dialog) != 0;
  if (keptLength > 0 && keptLength < MAX_PATH) SetCurrentDirectoryA(kept);
  if (chosen) zk::AddDefaultExtension(path, sizeof path, "txt");
  return chosen;
}

void Load(HWND page) {
  FKeysPageContext& context = ContextOf(page);
  char path[MAX_PATH];
  if (!ChooseFile(page, kFKeyFiles, path)) return;
  if (zk::LoadFKeyFile(context.draft, path) == zk::FileRead::kTooLarge) return ReportFileTooLarge(page, path);
  context.host.TakeFKeys(context.draft, false);
  Fill(page);
}

// The page's values become the program's first, even if the file is never written.
void Save(HWND page) {
  FKeysPageContext& context = ContextOf(page);
  Read(page, context.draft);
  context.host.TakeFKeys(context.draft, true);
  char path[MAX_PATH];
  if (ChooseFile(page, kFKeyFiles, path)) zk::SaveFKeyFile(context.draft, path);
}

// Notepad first; where it cannot be started, the editor the system uses for text files;
// failing both, the operator is told.
void StartTextEditor(HWND page, const char* path) {
  char command[kEditorCommandSize];
  const int n = std::snprintf(command, sizeof command, "notepad \"%s\"", path);
  if (n > 0 && n < kEditorCommandSize && WinExec(command, SW_SHOWDEFAULT) > 31) return;
  SHELLEXECUTEINFOA editor{};
  editor.cbSize = sizeof editor;
  editor.fMask = SEE_MASK_CLASSNAME | SEE_MASK_FLAG_NO_UI;
  editor.hwnd = page;
  editor.lpVerb = "open";
  editor.lpFile = path;
  editor.lpClass = ".txt";
  editor.nShow = SW_SHOWDEFAULT;
  if (ShellExecuteExA(&editor)) return;
  char text[MAX_PATH + 64];
  std::snprintf(text, sizeof text, "No text editor could be started for %s.", path);
  MessageBoxA(page, text, "Edit message file", MB_ICONEXCLAMATION);
}

void EditMessageFile(HWND page) {
  char path[MAX_PATH];
  if (ChooseFile(page, kMessageFiles, path)) StartTextEditor(page, path);
}

void OnCommand(HWND page, int id) {
  switch (id) {
    case IDC_LOAD_FKEYS: Load(page); break;
    case IDC_SAVE_FKEYS: Save(page); break;
    case IDC_EDIT_MESSAGE_FILE: EditMessageFile(page); break;
    default: break;
  }
}

void Apply(HWND page) {
  FKeysPageContext& context = ContextOf(page);
  Read(page, context.draft);
  context.host.TakeFKeys(context.draft, true);
}

constexpr PageNotices kNotices{Apply, Fill, 4};  // the number is its help context

INT_PTR CALLBACK FKeysPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      KeepPageContext(page, lParam);
      Fill(page);
      return TRUE;
    case WM_COMMAND: OnCommand(page, LOWORD(wParam)); return FALSE;
    case WM_NOTIFY: return AnswerPageNotice(page, lParam, kNotices);
    default: return FALSE;
  }
}

}  // namespace

void ReportFileTooLarge(HWND owner, const char* path) {
  char text[MAX_PATH + 64];
  std::snprintf(text, sizeof text, "%s is larger than 1 MiB and was not read.", path);
  MessageBoxA(owner, text, "File too large", MB_ICONEXCLAMATION);
}

PROPSHEETPAGEA FunctionKeysPage(HINSTANCE instance, FKeysPageContext& context) {
  return MakePropertyPage(instance, IDD_FKEYS_PAGE, FKeysPageProc, "Function keys", &context);
}
