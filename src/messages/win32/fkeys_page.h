// The Function keys page of the setup sheet: the nine messages, the report formats and
// auto-repeat; function-key files loaded and saved through the file dialog; message files
// opened in the text editor. It edits a draft of the set handed to it, and its host makes
// the set the program's.
#pragma once
#include <windows.h>
#include <prsht.h>

#include "messages/fkey_set.h"

class FKeysPageHost {
 public:
  virtual ~FKeysPageHost() = default;
  // The set becomes the program's; with `showLabels` the function-key buttons follow.
  virtual void TakeFKeys(const zk::FKeySet& set, bool showLabels) = 0;
};

struct FKeysPageContext {
  zk::FKeySet& draft;
  FKeysPageHost& host;
  const char* startDirectory;  // where the file dialogs open
};

PROPSHEETPAGEA FunctionKeysPage(HINSTANCE instance, FKeysPageContext& context);

// Tells the operator that a function-key file or message file was refused for its size.
void ReportFileTooLarge(HWND owner, const char* path);
