#pragma once
// Labels that act as links, made usable from the keyboard like the system's own controls.
#include <windows.h>

namespace vantrel {

// Gives a link label (a static with SS_NOTIFY and WS_TABSTOP) what the system's link control
// has: the focus rectangle while it holds the keyboard focus and the window shows focus cues,
// and Space and Enter, once per press, clicking it as the mouse does (STN_CLICKED to the parent).
void MakeKeyboardLink(HWND label);

}  // namespace vantrel
