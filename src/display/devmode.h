#pragma once
// The display mode record exactly as this program exchanges it with the display API:
// 156 bytes, ANSI text fields, and a 16-bit dmBitsPerPel followed by two bytes that the
// program keeps at zero (the operating system's own field is 32 bits wide).
#include <cstddef>
#include <cstdint>

namespace vantrel {

struct DevMode {
  char dmDeviceName[32];
  int16_t dmSpecVersion;
  int16_t dmDriverVersion;
  int16_t dmSize;
  int16_t dmDriverExtra;
  int32_t dmFields;
  int16_t dmOrientation;
  int16_t dmPaperSize;
  int16_t dmPaperLength;
  int16_t dmPaperWidth;
  int16_t dmScale;
  int16_t dmCopies;
  int16_t dmDefaultSource;
  int16_t dmPrintQuality;
  int16_t dmColor;
  int16_t dmDuplex;
  int16_t dmYResolution;
  int16_t dmTTOption;
  int16_t dmCollate;
  char dmFormName[32];
  int16_t dmLogPixels;
  int16_t dmBitsPerPel;
  int16_t alignment;
  int32_t dmPelsWidth;
  int32_t dmPelsHeight;
  int32_t dmDisplayFlags;
  int32_t dmDisplayFrequency;
  int32_t dmICMMethod;
  int32_t dmICMIntent;
  int32_t dmMediaType;
  int32_t dmDitherType;
  int32_t dmReserved1;
  int32_t dmReserved2;
  int32_t dmPanningWidth;
  int32_t dmPanningHeight;
};

// The declared fields without the alignment bytes: 64 + 19 * 2 + 13 * 4.
inline constexpr int16_t kDevModeDeclaredSize = 154;

static_assert(sizeof(DevMode) == 156);
static_assert(offsetof(DevMode, dmSpecVersion) == 32);
static_assert(offsetof(DevMode, dmDriverVersion) == 34);
static_assert(offsetof(DevMode, dmSize) == 36);
static_assert(offsetof(DevMode, dmDriverExtra) == 38);
static_assert(offsetof(DevMode, dmFields) == 40);
static_assert(offsetof(DevMode, dmOrientation) == 44);
static_assert(offsetof(DevMode, dmPaperSize) == 46);
static_assert(offsetof(DevMode, dmPaperLength) == 48);
static_assert(offsetof(DevMode, dmPaperWidth) == 50);
static_assert(offsetof(DevMode, dmScale) == 52);
static_assert(offsetof(DevMode, dmCopies) == 54);
static_assert(offsetof(DevMode, dmDefaultSource) == 56);
static_assert(offsetof(DevMode, dmPrintQuality) == 58);
static_assert(offsetof(DevMode, dmColor) == 60);
static_assert(offsetof(DevMode, dmDuplex) == 62);
static_assert(offsetof(DevMode, dmYResolution) == 64);
static_assert(offsetof(DevMode, dmTTOption) == 66);
static_assert(offsetof(DevMode, dmCollate) == 68);
static_assert(offsetof(DevMode, dmFormName) == 70);
static_assert(offsetof(DevMode, dmLogPixels) == 102);
static_assert(offsetof(DevMode, dmBitsPerPel) == 104);
static_assert(offsetof(DevMode, alignment) == 106);
static_assert(offsetof(DevMode, dmPelsWidth) == 108);
static_assert(offsetof(DevMode, dmPelsHeight) == 112);
static_assert(offsetof(DevMode, dmDisplayFlags) == 116);
static_assert(offsetof(DevMode, dmDisplayFrequency) == 120);
static_assert(offsetof(DevMode, dmICMMethod) == 124);
static_assert(offsetof(DevMode, dmICMIntent) == 128);
static_assert(offsetof(DevMode, dmMediaType) == 132);
static_assert(offsetof(DevMode, dmDitherType) == 136);
static_assert(offsetof(DevMode, dmReserved1) == 140);
static_assert(offsetof(DevMode, dmReserved2) == 144);
static_assert(offsetof(DevMode, dmPanningWidth) == 148);
static_assert(offsetof(DevMode, dmPanningHeight) == 152);

}  // namespace vantrel
