#pragma once
// Window geometry and mouse coordinates are kept in twips (1/1440 inch), so they mean
// the same physical size at every DPI; pixels are derived from the screen's DPI.
#include <cmath>
#include <cstdint>

namespace vantrel {

inline constexpr double kTwipsPerInch = 1440.0;

inline double TwipsPerPixel(int32_t dotsPerInch) { return kTwipsPerInch / dotsPerInch; }

inline int32_t TwipsToPixels(double twips, double twipsPerPixel) {
  return static_cast<int32_t>(std::lround(twips / twipsPerPixel));
}

inline double PixelsToTwips(int32_t pixels, double twipsPerPixel) {
  return pixels * twipsPerPixel;
}

}  // namespace vantrel
