#include "app/win32/app_state.h"

AppState app;

void FocusTypingPane() {
  if (app.typingPaneWindow) SetFocus(app.typingPaneWindow);
}
