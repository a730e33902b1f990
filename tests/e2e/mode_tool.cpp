// Runs the program's own display-mode code against the real display API, so the
// end-to-end tests can check it without the tray around it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "display/display_modes.h"
#include "win32/win32_os.h"

int main(int argc, char** argv) {
  vantrel::Win32Os os(GetModuleHandleA(nullptr));
  const auto arg = [&](int index) { return static_cast<int32_t>(std::atoi(argv[index])); };
  if (argc == 2 && std::strcmp(argv[1], "current") == 0) {
    const vantrel::DevMode mode = vantrel::ReadCurrentMode(os);
    std::printf("%dx%d %dHz %dbpp\n", mode.dmPelsWidth, mode.dmPelsHeight,
                mode.dmDisplayFrequency, mode.dmBitsPerPel);
    return 0;
  }
  if (argc == 5 && std::strcmp(argv[1], "test") == 0) {
    std::printf("%d\n", vantrel::TestMode(os, arg(2), arg(3), arg(4)));
    return 0;
  }
  if (argc == 5 && std::strcmp(argv[1], "change") == 0) {
    vantrel::ChangeMode(os, arg(2), arg(3), arg(4));
    std::printf("done\n");
    return 0;
  }
  std::fprintf(stderr, "usage: mode_tool current | test W H F | change W H F\n");
  return 2;
}
