// What every page of the setup sheet does alike: its description for the sheet, the
// context the sheet hands it, and the result of a notification.
#pragma once
#include <windows.h>
#include <prsht.h>

// A page with a tab title and a Help button; `context` reaches the page procedure.
PROPSHEETPAGEA MakePropertyPage(HINSTANCE instance, int dialogTemplate, DLGPROC procedure, const char* title,
                                void* context);

// Keeps the context of the page being created (from WM_INITDIALOG's parameter).
void KeepPageContext(HWND page, LPARAM initParameter);

template <typename T>
T& PageContext(HWND page) {
  return *reinterpret_cast<T*>(GetWindowLongPtrA(page, DWLP_USER));
}

// Answers a notification: the result goes back through DWLP_MSGRESULT.
INT_PTR PageResult(HWND page, LONG_PTR result);

// What a page does on the sheet's notices: leaving it is allowed unless `accept` refuses
// (it tells the operator why), Close stores its values, a dismissal fills it again, Help
// opens its section of the manual.
struct PageNotices {
  void (*store)(HWND page);
  void (*fill)(HWND page);
  int helpContext;
  bool cancelToClose = false;  // once shown, the sheet offers Close and no working Cancel
  bool (*accept)(HWND page) = nullptr;
};

// The page's answer to WM_NOTIFY.
INT_PTR AnswerPageNotice(HWND page, LPARAM notice, const PageNotices& notices);
