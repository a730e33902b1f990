#include "launch/web_stuff_functions.h"

namespace vantrel {

namespace {

// The shell's documents open relative to a directory that always exists.
constexpr const char* kWorkingDirectory = "C:\\";
// ShellExecute reports success with any value above 32; 32 itself is an error.
constexpr intptr_t kShellExecuteLastError = 32;

// The program started, or the browser or mail client the shell hands the document to (often
// one already running, not a process of ours), shows once the menu has given the foreground
// back to where the user was; it comes to the front then only by a grant from the program
// in front now, which lasts until the user's next input.
void LetTheStartedProgramComeToTheFront(const Application& app) { app.os().AllowSetForegroundWindow(win::kAsfwAny); }

bool ShellOpen(const Application& app, const std::string& document) {
  LetTheStartedProgramComeToTheFront(app);
  return app.os().ShellExecuteA(document, kWorkingDirectory, win::kSwShowNormal) >
         kShellExecuteLastError;
}

}  // namespace

std::string FeedbackMailLink(const std::string& address) {
  // Left unencoded on purpose: mail clients read the subject's blanks and colon as typed.
  return "mailto:" + address + "?subject=Ambrel Utilities: " + Application::kTitle;
}

void OpenUrl(const Application& app, const std::string& url) {
  if (!ShellOpen(app, url)) app.MsgBox(kBrowserFailedText, win::kMbIconStop);
}

void SendFeedbackMail(const Application& app, const std::string& address) {
  if (!ShellOpen(app, FeedbackMailLink(address))) app.MsgBox(kMailFailedText, win::kMbIconStop);
}

void OpenDisplayProperties(const Application& app) {
  LetTheStartedProgramComeToTheFront(app);
  if (!app.os().StartSystemProgram(kDisplayControlPanelProgram, kDisplayControlPanelCommand,
                                   win::kSwShowMinimized)) {
    app.MsgBox(kControlPanelFailedText, win::kMbIconStop);
  }
}

}  // namespace vantrel
