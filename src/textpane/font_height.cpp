#include "textpane/font_height.h"

#include <cmath>

namespace zk {

namespace {

constexpr double kMillimetresPerInch = 25.4;

// Truncates toward zero; values outside the 32-bit range (a wild size from the
// settings file) are held at its ends, NaN gives 0.
int32_t TruncateToInt(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(v);
}

}  // namespace

double VerticalDpi(int verticalPixels, int verticalMillimetres, double fallbackDpi) {
  if (verticalPixels <= 0 || verticalMillimetres <= 0) return fallbackDpi;
  return static_cast<double>(verticalPixels) * kMillimetresPerInch / static_cast<double>(verticalMillimetres);
}

int32_t FontTenthsHeight(int32_t tenthsOfPoint, double yDpi) {
  return TruncateToInt(static_cast<double>(tenthsOfPoint) * yDpi * static_cast<double>(kPointsPerInchInverse));
}

int32_t FontCharHeight(int32_t tenthsOfPoint, double yDpi) {
  const double y = std::fabs(static_cast<double>(FontTenthsHeight(tenthsOfPoint, yDpi)));
  return -TruncateToInt(y * 0.1 + 0.5);
}

FontStyle FontStyleFromBits(int bits) {
  FontStyle style;
  style.weight = (bits & kFontBold) ? 700 : 0;
  style.italic = (bits & kFontItalic) ? 1 : 0;
  style.underline = (bits & kFontUnderline) ? 1 : 0;
  style.strikeOut = (bits & kFontStrikeOut) ? 1 : 0;
  return style;
}

int FontStyleBits(int32_t weight, uint8_t italic) {
  return (weight >= 600 ? kFontBold : 0) | (italic != 0 ? kFontItalic : 0);
}

int32_t FontDialogHeight(int32_t tenthsOfPoint, int logPixelsY) {
  return -TruncateToInt(static_cast<double>(tenthsOfPoint) * logPixelsY / 720.0);
}

}  // namespace zk
