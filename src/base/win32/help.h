// The operator's manual, opened by the main window's Help menu and by every page of the
// setup sheet; it needs nothing of the program's state, so every layer may open it.
#pragma once

// Opens the manual (HTML beside the exe) at the page of a help context: 1 the main
// window, 2 to 5 the setup sheet's pages in their order.
void OpenHelp(int context);
