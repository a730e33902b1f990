#include "display/display_modes.h"

#include <cstring>

namespace vantrel {

bool ReadCurrentMode(Os& os, DevMode& mode) {
  std::memset(&mode, 0, sizeof mode);
  mode.dmSize = kDevModeDeclaredSize;
  const bool read = os.EnumDisplaySettingsA(mode);
  // The system writes a 32-bit bits-per-pixel; only its low 16 bits belong to the record.
  mode.alignment = 0;
  return read;
}

std::optional<ModeTriple> CurrentModeTriple(Os& os) {
  DevMode mode;
  if (!ReadCurrentMode(os, mode)) return std::nullopt;
  return ModeTriple{mode.dmPelsWidth, mode.dmPelsHeight, mode.dmDisplayFrequency};
}

namespace {

// The current mode with the three values replaced; false when there is no current mode
// to build on. Windows acts only on the fields dmFields names, and a failed read names
// none: such a request would change nothing and report success.
bool RequestFor(Os& os, DevMode& mode, int32_t width, int32_t height, int32_t frequency) {
  if (!ReadCurrentMode(os, mode)) return false;
  mode.dmPelsWidth = width;
  mode.dmPelsHeight = height;
  mode.dmDisplayFrequency = frequency;
  return true;
}

void Tell(Os& os, const char* text) { os.MessageBoxA(nullptr, text, kModeProblemTitle, win::kMbOk); }

}  // namespace

int32_t TestMode(Os& os, int32_t width, int32_t height, int32_t frequency) {
  DevMode mode;
  if (!RequestFor(os, mode, width, height, frequency)) return win::kDispChangeFailed;
  return os.ChangeDisplaySettingsA(mode, win::kCdsTest);
}

void ChangeMode(Os& os, int32_t width, int32_t height, int32_t frequency) {
  DevMode mode;
  if (!RequestFor(os, mode, width, height, frequency)) return Tell(os, kModeChangeFailedText);
  if (os.ChangeDisplaySettingsA(mode, win::kCdsTest) != win::kDispChangeSuccessful) {
    return Tell(os, kUnsupportedModeText);
  }
  switch (os.ChangeDisplaySettingsA(mode, win::kCdsUpdateRegistry)) {
    case win::kDispChangeSuccessful: return;
    case win::kDispChangeRestart: return Tell(os, kModeAfterRestartText);
    default: return Tell(os, kModeChangeFailedText);
  }
}

}  // namespace vantrel
