#pragma once
// The tray icon's record in the first, smallest NOTIFYICONDATA layout (a 64-character
// tip), which every version of the shell accepts.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "framework/os.h"

namespace vantrel {

struct NotifyIconData {
  uint32_t cbSize;
  WindowHandle hWnd;
  uint32_t uID;
  uint32_t uFlags;
  uint32_t uCallbackMessage;
  IconHandle hIcon;
  char szTip[64];
};

static_assert(sizeof(NotifyIconData) == (sizeof(void*) == 4 ? 88 : 104));
static_assert(offsetof(NotifyIconData, szTip) == (sizeof(void*) == 4 ? 24 : 40));

inline constexpr uint32_t kTrayIconId = 1;

// Writes "Current Resolution: WxH FHz" into szTip, left-aligned, NUL-terminated and
// blank-padded to the field's size. It runs every second, so it allocates nothing.
void StoreTrayTip(NotifyIconData& data, int32_t width, int32_t height, int32_t frequency);
// Writes `text` alike, cut to the field's size.
void StoreTrayTip(NotifyIconData& data, std::string_view text);

}  // namespace vantrel
