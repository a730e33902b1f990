#include "app/tray_icon.h"

#include <algorithm>
#include <cstring>

namespace vantrel {

std::string TrayTipText(int32_t width, int32_t height, int32_t frequency) {
  return "Current Resolution: " + std::to_string(width) + "x" + std::to_string(height) + " " +
         std::to_string(frequency) + "Hz";
}

void StoreTrayTip(NotifyIconData& data, const std::string& text) {
  // The terminating NUL always stays inside the field, so the shell never reads past it.
  const size_t length = std::min(text.size(), sizeof data.szTip - 1);
  std::memset(data.szTip, ' ', sizeof data.szTip);
  std::memcpy(data.szTip, text.data(), length);
  data.szTip[length] = '\0';
}

}  // namespace vantrel
