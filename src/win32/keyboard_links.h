#pragma once
// Labels that act as links, made usable from the keyboard like the system's own controls.
#include <windows.h>

namespace vantrel {

// Gives a link label (a static with SS_NOTIFY and WS_TABSTOP) what the system's link control
// has: the focus rectangle while it holds the keyboard focus and the window shows focus cues,
// and Space and Enter, once per press, clicking it as the mouse does (STN_CLICKED to the parent).
void MakeKeyboardLink(HWND label);

// Shows or hides the focus cues of a new window with controls and its children by the last
// input, as the dialog manager does for a dialog: opened from the keyboard, the focus
// shows at once; opened with the mouse, not until the keyboard is used.
void InitialiseKeyboardCues(HWND window);

}  // namespace vantrel
