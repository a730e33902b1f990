#include "about/frm_about.h"

#include <gtest/gtest.h>

#include <map>

#include "fakes/program.h"
#include "framework/paint.h"
#include "launch/web_stuff_functions.h"
#include "res/frm_about_layout.h"

namespace vantrel {
namespace {

using testing::FakeOs;
using testing::Program;

struct AboutTest : ::testing::Test, Program {
  void SetUp() override { Start(); }
};

// Opened from the keyboard's menu, the About window shows at once where the focus is, as a
// dialog does; opened with the mouse, it looks unchanged until the keyboard is used.
TEST_F(AboutTest, ItsFocusCuesFollowTheInputThatOpenedIt) {
  for (const bool keyboard : {false, true, false}) {
    os.lastInputFromKeyboard = keyboard;
    Choose("mnuPopAbout");
    EXPECT_EQ(keyboard, os.Window(About()->hWnd()).keyboardCuesShown) << (keyboard ? "keyboard" : "mouse");
    ClickAbout(cmdOK);
  }
}

TEST_F(AboutTest, OnlyTheLinksHandWorkToTheShellAndEveryFailureIsTold) {
  Choose("mnuPopAbout");
  for (uint32_t control : {picIcon, lblTitle, lblVersion, lblDescription, Label5, lblDisclaimer, Label1, Label6,
                           Label7}) {
    ClickAbout(control);
  }
  os.Send(About()->hWnd(), win::kWmCommand, Label2 | 1 << 16, 0);  // STN_DBLCLK: its first click opened it
  EXPECT_TRUE(os.shellExecutes.empty());
  // Screen readers hear the links as links and the icon by the program's name.
  const ControlAnnotation asLink{win::kRoleSystemLink, win::kStateSystemFocusable | win::kStateSystemLinked, ""};
  using Annotations = std::map<uint32_t, ControlAnnotation>;
  EXPECT_EQ((Annotations{{picIcon, {win::kRoleSystemGraphic, 0, "Vantrel"}}, {Label3, asLink}, {Label4, asLink},
                         {Label2, asLink}}), os.annotations);
  ClickAbout(Label2);
  ClickAbout(Label3);
  ClickAbout(Label4);
  using Call = std::tuple<std::string, std::string, int32_t>;
  EXPECT_EQ((std::vector<Call>{
                {"https://www.donations.example/xclick/business=donate@ambrel.example&item_name=Ambrel+Utilities"
                 "&item_number=00000001&no_shipping=1&cs=1&tax=0&currency_code=USD", "C:\\", 1},
                {"mailto:mail@ambrel.example?subject=Ambrel Utilities: Vantrel", "C:\\", 1},
                {"http://ambrel.example/", "C:\\", 1}}),
            os.shellExecutes);
  // ShellExecute succeeds above 32 only; 32 itself is an error.
  const std::pair<uint32_t, const char*> links[] = {{Label2, kBrowserFailedText}, {Label3, kMailFailedText}};
  for (const auto& [link, failure] : links) {
    for (intptr_t code : {0, 2, 31, 32, 33, 42}) {
      os.shellExecuteResult = code;
      const size_t boxes = os.messageBoxes.size();
      ClickAbout(link);
      ASSERT_EQ(boxes + (code <= 32 ? 1 : 0), os.messageBoxes.size()) << code;
      if (code > 32) continue;
      EXPECT_EQ(failure, os.messageBoxes.back().text);
      EXPECT_EQ(Application::kTitle, os.messageBoxes.back().caption);
      EXPECT_EQ(win::kMbIconStop, os.messageBoxes.back().style);
    }
  }
  EXPECT_EQ(2u, app.Forms().size()) << "the window stays open";
}

// The frame around the client area is the one drawn at the DPI of the window's monitor,
// which differs from the system DPI after a change of scale or on a second monitor.
// Sizes worked out by hand from the fake's frame (4 px border, 23 px caption at 96 dpi).
TEST(AboutPlacement, ClientAreaHoldsTheLayoutAtTheMonitorsDpiAndTheWindowIsCentred) {
  struct Case {
    int32_t system, monitor;
    PixelRect outer;
    double leftTwips;  // read back at the system's twips per pixel
  };
  for (const Case& c : {Case{96, 96, {312, 215, 711, 523}, 4680},     // 391 x 277 client
                        Case{96, 144, {212, 138, 811, 600}, 3180},    // 587 x 416 (5865 / 10 rounded)
                        Case{96, 192, {113, 61, 911, 677}, 1695},     // 782 x 554
                        Case{192, 192, {113, 61, 911, 677}, 847.5}}) {
    SCOPED_TRACE(std::to_string(c.system) + " dpi system, " + std::to_string(c.monitor) + " dpi monitor");
    Program p;
    p.os.dpi = c.system;
    p.os.monitorDpi = c.monitor;
    p.Start();
    p.Choose("mnuPopAbout");
    EXPECT_EQ(c.outer, p.os.Window(p.About()->hWnd()).rect);
    EXPECT_EQ(c.leftTwips, p.About()->Left());
  }
}

// Windows' default flags (126) say the high-contrast theme is available, not that it is on
// (127). The colours it brings are checked under Wine, at 150 %.
TEST(AboutColours, HighContrastCountsOnlyWhenItIsOn) {
  EXPECT_EQ((std::pair{false, true}), std::pair(HighContrastOn(126), HighContrastOn(127)));
}

}  // namespace
}  // namespace vantrel
