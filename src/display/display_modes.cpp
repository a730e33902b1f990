#include "display/display_modes.h"

#include <cstring>

namespace vantrel {

DevMode ReadCurrentMode(Os& os) {
  DevMode mode;
  std::memset(&mode, 0, sizeof mode);
  mode.dmSize = kDevModeDeclaredSize;
  os.EnumDisplaySettingsA(mode);
  // The system writes a 32-bit bits-per-pixel; only its low 16 bits belong to the record.
  mode.alignment = 0;
  return mode;
}

ModeTriple CurrentModeTriple(Os& os) {
  const DevMode mode = ReadCurrentMode(os);
  return {mode.dmPelsWidth, mode.dmPelsHeight, mode.dmDisplayFrequency};
}

static DevMode RequestFor(Os& os, int32_t width, int32_t height, int32_t frequency) {
  DevMode mode = ReadCurrentMode(os);
  mode.dmPelsWidth = width;
  mode.dmPelsHeight = height;
  mode.dmDisplayFrequency = frequency;
  return mode;
}

int32_t TestMode(Os& os, int32_t width, int32_t height, int32_t frequency) {
  DevMode mode = RequestFor(os, width, height, frequency);
  return os.ChangeDisplaySettingsA(mode, win::kCdsTest);
}

void ChangeMode(Os& os, int32_t width, int32_t height, int32_t frequency) {
  DevMode mode = RequestFor(os, width, height, frequency);
  if (os.ChangeDisplaySettingsA(mode, win::kCdsTest) != win::kDispChangeSuccessful) {
    os.MessageBoxA(nullptr, kUnsupportedModeText, kModeProblemTitle, win::kMbOk);
    return;
  }
  if (os.ChangeDisplaySettingsA(mode, win::kCdsUpdateRegistry) != win::kDispChangeSuccessful) {
    os.MessageBoxA(nullptr, kModeChangeFailedText, kModeProblemTitle, win::kMbOk);
  }
}

}  // namespace vantrel
