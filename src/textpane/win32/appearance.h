// Pane fonts, colours and brushes.
#pragma once
#include <windows.h>

#include <cstdint>

// A font of the given face and size (tenths of a point) at its true physical height on
// this screen; style bits: 1 bold, 2 italic, 4 underline, 8 strike-out.
HFONT MakeFont(HDC dc, const char* face, int32_t tenthsOfPoint, int styleBits);

// Applies the stored fonts, colours and button captions once the settings are read.
void ApplyAppearance();
