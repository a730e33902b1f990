#pragma once
// Reading the current display mode, testing a mode and applying one. Every request is
// built on the mode in force, so colour depth and display flags never change.
#include <cstdint>
#include <optional>

#include "display/devmode.h"
#include "framework/os.h"

namespace vantrel {

// Width and height in pixels and refresh rate in hertz, always passed in this order.
struct ModeTriple {
  int32_t width = 0;
  int32_t height = 0;
  int32_t frequency = 0;
  friend bool operator==(const ModeTriple&, const ModeTriple&) = default;
};

inline constexpr const char* kUnsupportedModeText = "That resolution is not supported!";
inline constexpr const char* kModeChangeFailedText =
    "The display mode could not be changed. The display keeps its previous mode.";
inline constexpr const char* kModeAfterRestartText =
    "Windows has stored the display mode. The display changes to it when Windows restarts.";
inline constexpr const char* kModeProblemTitle = "Problem!";

// Fills `mode` with the current mode as the read leaves a zero-filled record; false when
// the read failed (the record then holds zeros but for dmSize).
bool ReadCurrentMode(Os& os, DevMode& mode);
// None for a failed read: a driver that restarts has no mode to name.
std::optional<ModeTriple> CurrentModeTriple(Os& os);

// Asks the driver whether the mode would be accepted and returns its code unchanged.
// Without the current mode there is nothing to ask about (the record would name no
// field to change): that is DISP_CHANGE_FAILED, asked of nobody.
int32_t TestMode(Os& os, int32_t width, int32_t height, int32_t frequency);

// Applies the mode if the driver accepts it; a refusal, a failed change or a change
// kept for the next restart is told to the user in a message box.
void ChangeMode(Os& os, int32_t width, int32_t height, int32_t frequency);

}  // namespace vantrel
