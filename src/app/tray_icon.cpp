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

// Ends the text at `out` and pads the rest of the field.
void Finish(NotifyIconData& data, char* out) {
  *out++ = '\0';
  std::memset(out, ' ', static_cast<size_t>(data.szTip + sizeof data.szTip - out));
}

// The NUL always stays inside the field, so the shell never reads past it.
char* TipEnd(NotifyIconData& data) { return data.szTip + sizeof data.szTip - 1; }

}  // namespace

void StoreTrayTip(NotifyIconData& data, int32_t width, int32_t height, int32_t frequency) {
  // The longest text three 32-bit values give is 57 characters.
  char* const end = TipEnd(data);
  char* out = Append(data.szTip, end, "Current Resolution: ");
  out = Append(out, end, width);
  out = Append(out, end, "x");
  out = Append(out, end, height);
  out = Append(out, end, " ");
  out = Append(out, end, frequency);
  Finish(data, Append(out, end, "Hz"));
}

void StoreTrayTip(NotifyIconData& data, std::string_view text) { Finish(data, Append(data.szTip, TipEnd(data), text)); }

}  // namespace vantrel
