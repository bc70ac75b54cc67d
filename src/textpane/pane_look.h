// How the panes look, in the units the settings file carries: what the Preferences page
// edits and the program applies at once.
#pragma once
#include <cstdint>

namespace zk {

struct PaneFont {
  char face[50];
  int32_t size;    // tenths of a point
  int32_t weight;  // 600 or more draws bold
  uint8_t italic;
};

// Colours are 0x00BBGGRR.
struct PaneLook {
  uint32_t background;    // of both panes
  uint32_t border;        // the main window around the panes and buttons
  uint32_t typingText;    // typed text (typing pane, slot 0)
  uint32_t receivedText;  // received text (receive/transmit pane, slot 1)
  uint32_t sentText;      // transmitted text (receive/transmit pane, slot 2)
  PaneFont typingFont;
  PaneFont rxTxFont;
};

}  // namespace zk
