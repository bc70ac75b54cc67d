// The Preferences page of the setup sheet: the panes' fonts and colours, the window's
// border colour and the own call sign. It edits a draft handed to it; every colour or font
// chosen goes to its host at once, the call sign when the sheet is confirmed.
#pragma once
#include <windows.h>
#include <prsht.h>

#include "textpane/pane_look.h"

class PreferencesHost {
 public:
  virtual ~PreferencesHost() = default;
  // The program takes the look and shows it at once; it stays even if the sheet is
  // dismissed without confirming.
  virtual void ApplyLook(const zk::PaneLook& look) = 0;
  virtual void TakeCallSign(const char* call) = 0;
};

struct PreferencesDraft {
  char myCall[50];
  zk::PaneLook look;
};

struct PreferencesContext {
  PreferencesDraft& draft;
  PreferencesHost& host;
};

PROPSHEETPAGEA PreferencesPage(HINSTANCE instance, PreferencesContext& context);
