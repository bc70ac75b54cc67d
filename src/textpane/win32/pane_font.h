// The pane font, made at its true physical height on this screen.
#pragma once
#include <windows.h>

#include <cstdint>

// A font of the given face and size (tenths of a point); style bits: 1 bold, 2 italic,
// 4 underline, 8 strike-out.
HFONT MakeFont(HDC dc, const char* face, int32_t tenthsOfPoint, int styleBits);
