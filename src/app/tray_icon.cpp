#include "app/tray_icon.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace vantrel {

namespace {

// Copies as much of `text` as fits before `end`; returns where the next piece goes.
char* Append(char* out, char* end, std::string_view text) {
  const size_t length = std::min(text.size(), static_cast<size_t>(end - out));
  std::memcpy(out, text.data(), length);
  return out + length;
}

char* Append(char* out, char* end, int32_t value) { return std::to_chars(out, end, value).ptr; }

}  // namespace

void StoreTrayTip(NotifyIconData& data, int32_t width, int32_t height, int32_t frequency) {
  char* const begin = data.szTip;
  // The NUL always stays inside the field, so the shell never reads past it; the
  // longest text three 32-bit values give is 57 characters.
  char* const end = begin + sizeof data.szTip - 1;
  char* out = Append(begin, end, "Current Resolution: ");
  out = Append(out, end, width);
  out = Append(out, end, "x");
  out = Append(out, end, height);
  out = Append(out, end, " ");
  out = Append(out, end, frequency);
  out = Append(out, end, "Hz");
  *out++ = '\0';
  std::memset(out, ' ', static_cast<size_t>(begin + sizeof data.szTip - out));
}

}  // namespace vantrel
