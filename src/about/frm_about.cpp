#include "about/frm_about.h"

#include "launch/web_stuff_functions.h"
#include "res/frm_about_layout.h"
#include "res/maker.h"

namespace vantrel {

frmAbout::frmAbout(Application& app) : Form(app, AboutFormLayout()) {}

std::string frmAbout::VersionLine() {
  return "Version " + std::to_string(Application::kMajor) + "." +
         std::to_string(Application::kMinor) + "." + std::to_string(Application::kRevision);
}

void frmAbout::Load() {
  SetControlText(lblVersion, VersionLine());
  SetControlText(lblTitle, Application::kTitle);
}

void frmAbout::ControlClick(uint32_t controlId) {
  switch (controlId) {
    case cmdOK: Close(); break;
    case Label2: OpenUrl(app(), kDonationUrl); break;               // " HERE": the donation page
    case Label3: SendFeedbackMail(app(), kFeedbackAddress); break;  // the feedback address
    case Label4: OpenUrl(app(), kHomePageUrl); break;               // the home page
    default: break;  // the other controls are plain text
  }
}

}  // namespace vantrel
