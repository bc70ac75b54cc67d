// The arithmetic of making a pane font: physical screen resolution, the character
// height for a size in tenths of a point, and the style bits.
#pragma once
#include <cstdint>

namespace zk {

constexpr int kFontBold = 1;
constexpr int kFontItalic = 2;
constexpr int kFontUnderline = 4;
constexpr int kFontStrikeOut = 8;

// 1/72 as the single-precision constant the height formula has always used.
constexpr float kPointsPerInchInverse = 0.013888889f;

// Rows per inch from the screen's height in pixels and millimetres; `fallbackDpi`
// when the screen does not report a physical size.
double VerticalDpi(int verticalPixels, int verticalMillimetres, double fallbackDpi);

// The height in tenths of a device unit for a size in tenths of a point.
int32_t FontTenthsHeight(int32_t tenthsOfPoint, double yDpi);

// The font's character height: whole device units rounded half up, negative so that
// it excludes internal leading.
int32_t FontCharHeight(int32_t tenthsOfPoint, double yDpi);

struct FontStyle {
  int32_t weight;  // 700 bold, 0 the face's normal weight
  uint8_t italic;
  uint8_t underline;
  uint8_t strikeOut;
};

FontStyle FontStyleFromBits(int bits);

// The style bits for a font chosen by weight and italic: only bold or normal results.
int FontStyleBits(int32_t weight, uint8_t italic);

// The height a font dialog starts from: the size at the screen's logical resolution,
// truncated toward zero and negative (a character height).
int32_t FontDialogHeight(int32_t tenthsOfPoint, int logPixelsY);

}  // namespace zk
