#include "base/win32/property_page.h"

#include "base/win32/help.h"

PROPSHEETPAGEA MakePropertyPage(HINSTANCE instance, int dialogTemplate, DLGPROC procedure, const char* title,
                                void* context) {
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

INT_PTR AnswerPageNotice(HWND page, LPARAM notice, const PageNotices& notices) {
  switch (reinterpret_cast<const NMHDR*>(notice)->code) {
    case PSN_SETACTIVE:
      if (notices.cancelToClose) SendMessageA(GetParent(page), PSM_CANCELTOCLOSE, reinterpret_cast<WPARAM>(page), 0);
      return PageResult(page, 0);
    case PSN_KILLACTIVE: return PageResult(page, notices.accept && !notices.accept(page));
    case PSN_APPLY: notices.store(page); return PageResult(page, PSNRET_NOERROR);
    case PSN_RESET: notices.fill(page); return PageResult(page, 0);
    case PSN_HELP: OpenHelp(notices.helpContext); return PageResult(page, 0);
    default: return FALSE;
  }
}
