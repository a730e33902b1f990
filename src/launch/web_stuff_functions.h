#pragma once
// Handing work to other programs: the browser, the mail client and the display control
// panel. Each operation tells the user itself when the hand-over fails.
#include <string>

#include "framework/application.h"

namespace vantrel {

// The control panel's host is started from the system directory by its full path: by
// its bare name, a rundll32.exe lying beside this program (a Downloads folder) would run.
inline constexpr const char* kDisplayControlPanelProgram = "rundll32.exe";
inline constexpr const char* kDisplayControlPanelCommand =
    "rundll32.exe shell32.dll,Control_RunDLL desk.cpl,,3";

inline constexpr const char* kBrowserFailedText =
    "Error lauching web borwser. Make sure that your web browser is correctly installed and "
    "configured";
inline constexpr const char* kMailFailedText =
    "Error sending mail. Make sure that you have your email client  correctly installed and "
    "configured";
inline constexpr const char* kControlPanelFailedText =
    "The display control panel could not be started.";

std::string FeedbackMailLink(const std::string& address);

void OpenUrl(const Application& app, const std::string& url);
// Opens a new mail to `address` with the program's subject in the user's mail client.
void SendFeedbackMail(const Application& app, const std::string& address);
void OpenDisplayProperties(const Application& app);

}  // namespace vantrel
