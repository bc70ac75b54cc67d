// The look of the program from the settings: applied at start-up and again whenever the
// Preferences page changes a font or colour.
#pragma once

// Start-up: PTT released, the look, the function-key captions.
void ApplyAppearance();

// Fonts, colours, the pane and border brushes from the settings, shown at once.
void ApplyLook();
