// The stored look of the program, applied once the settings are read.
#pragma once

// Fonts, colours and the pane brush from the settings, the function-key captions, and PTT
// released.
void ApplyAppearance();
