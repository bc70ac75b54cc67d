#include "base/win32/property_page.h"

PROPSHEETPAGEA MakePropertyPage(HINSTANCE instance, int dialogTemplate, DLGPROC procedure,
                                const char* title, void* context) {
  PROPSHEETPAGEA page{};
  page.dwSize = sizeof page;
  page.dwFlags = PSP_USETITLE | PSP_HASHELP;
  page.hInstance = instance;
  page.pszTemplate = MAKEINTRESOURCEA(dialogTemplate);
  page.pfnDlgProc = procedure;
  page.pszTitle = title;
  page.lParam = reinterpret_cast<LPARAM>(context);
  return page;
}

void KeepPageContext(HWND page, LPARAM initParameter) {
  const auto* description = reinterpret_cast<const PROPSHEETPAGEA*>(initParameter);
  SetWindowLongPtrA(page, DWLP_USER, description->lParam);
}

INT_PTR PageResult(HWND page, LONG_PTR result) {
  SetWindowLongPtrA(page, DWLP_MSGRESULT, result);
  return TRUE;
}
