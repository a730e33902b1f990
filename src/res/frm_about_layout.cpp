#include "res/frm_about_layout.h"

#include "res/maker.h"
#include "res/resource_ids.h"

namespace vantrel {

namespace {

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kLinkBlue{0, 0, 255};
constexpr Rgb kLightGrey{192, 192, 192};
constexpr const char* kDescription =
    "Vantrel allows you to quickly and easily change your screen resolution to one of seven "
    "pre-chosen resolutions and five preset refresh rates. If a particular setting is not "
    "supported by your monitor, it will not be available. Color depth is not changed.  Some "
    "resolution settings and refresh rates may not be available, due to your current color "
    "depth settings.";
constexpr const char* kCustomVersions =
    "Custom versions: A custom version with your specific resolution settings can be created "
    "for a nominal charge. Send an e-mail to the Feedback link, below, with your specific "
    "request.";

using enum ControlKind;

}  // namespace

FormLayout AboutFormLayout() {
  return {
      .className = "Vantrel.frmAbout",
      .caption = "About Vantrel",
      .frame = FrameStyle::FixedDialog,
      .centred = true,
      .clientWidthTwips = 5865,
      .clientHeightTwips = 4155,
      .iconResource = IDI_APP,
      .controls =
          {
              // In reading order, top to bottom and left to right: the order the controls are made in,
              // which screen readers follow.
              // id, name, kind, left, top, width, height, text, text colour, back colour, hand, tab index
              {picIcon, "picIcon", PictureBox, 240, 240, 540, 540, "", {}, kLightGrey, false, 1, IDI_ABOUT,
               Application::kTitle},  // the icon is named for the program it stands for
              {lblTitle, "lblTitle", Label, 1050, 240, 4095, 360, "Application Title", kBlack, {}, false, 4},
              {lblVersion, "lblVersion", Label, 1080, 600, 4095, 225, "Version", {}, {}, false, 3},
              {lblDescription, "lblDescription", Label, 1080, 960, 4095, 1410, kDescription, kBlack, {}, false, 5},
              {Label5, "Label5", Label, 1080, 2400, 3975, 855, kCustomVersions, {}, {}, false, 10},
              {lblDisclaimer, "lblDisclaimer", Label, 255, 3360, 750, 225, "Feedback:", kBlack, {}, false, 2},
              {Label3, "Label3", Label, 1080, 3360, 1935, 255, kFeedbackAddress, kLinkBlue, {}, true, 8},
              {Label1, "Label1", Label, 240, 3600, 735, 255, "Website:", {}, {}, false, 6},
              {Label4, "Label4", Label, 1080, 3600, 1935, 255, kHomePageUrl, kLinkBlue, {}, true, 9},
              {cmdOK, "cmdOK", CommandButton, 4080, 3600, 1467, 345, "OK", {}, {}, false, 0},
              {Label6, "Label6", Label, 240, 3840, 375, 255, "Click", {}, {}, false, 11},
              {Label2, "Label2", Label, 600, 3840, 495, 255, " HERE", kLinkBlue, {}, true, 7},
              {Label7, "Label7", Label, 1080, 3840, 2535, 255, " to support utilities like this one.", {}, {}, false, 12},
          },
      // An etched rule: the grey line first, the white one drawn over its lower edge.
      .lines = {{"Line1(1)", {128, 128, 128}, 1, 240, 3270, 5672, 3270},
                {"Line1(0)", {255, 255, 255}, 2, 225, 3285, 5642, 3285}},
      .defaultControl = cmdOK,
      .cancelControl = cmdOK,
  };
}

}  // namespace vantrel
