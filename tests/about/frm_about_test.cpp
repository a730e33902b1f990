#include "about/frm_about.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fakes/program.h"
#include "framework/paint.h"
#include "launch/web_stuff_functions.h"
#include "res/maker.h"
#include "res/frm_about_layout.h"

namespace vantrel {
namespace {

using testing::FakeOs;

struct AboutTest : ::testing::Test, testing::Program {
  void SetUp() override { Start(); }
  void ChooseAbout() { Choose("mnuPopAbout"); }
  const std::string& Text(uint32_t control) { return os.Window(About()->hWnd()).texts.at(control); }
  void Click(uint32_t control) { ClickAbout(control); }
};

TEST_F(AboutTest, LoadWritesVersionAndTitleAndKeepsTheCaption) {
  ChooseAbout();
  ASSERT_NE(nullptr, About());
  EXPECT_EQ("Version 2.0.5", Text(lblVersion));
  EXPECT_EQ("Vantrel", Text(lblTitle));
  EXPECT_EQ("About Vantrel", About()->Layout().caption);
  EXPECT_TRUE(os.Window(About()->hWnd()).visible);
}

TEST_F(AboutTest, ChoosingAboutTwiceKeepsOneWindowAndOkMakesItAfresh) {
  ChooseAbout();
  WindowHandle first = About()->hWnd();
  ChooseAbout();
  EXPECT_EQ(2u, app.Forms().size());
  EXPECT_EQ(first, About()->hWnd());
  os.Send(first, win::kWmCommand, kCancelCommand, 0);  // Esc
  EXPECT_EQ(1u, app.Forms().size());
  EXPECT_EQ(0, os.quitMessages) << "the tray goes on";
  ChooseAbout();
  EXPECT_NE(first, About()->hWnd());
  EXPECT_EQ("Version 2.0.5", Text(lblVersion));
  Click(cmdOK);
  EXPECT_EQ(1u, app.Forms().size());
}

TEST_F(AboutTest, OnlyTheLinksHandWorkToTheShell) {
  ChooseAbout();
  for (uint32_t control : {picIcon, lblTitle, lblVersion, lblDescription, Label5, lblDisclaimer,
                           Label1, Label6, Label7}) {
    Click(control);
  }
  EXPECT_TRUE(os.shellExecutes.empty());
  Click(Label2);
  Click(Label3);
  Click(Label4);
  using Call = std::tuple<std::string, std::string, int32_t>;
  EXPECT_EQ((std::vector<Call>{{kDonationUrl, "C:\\", 1},
                               {"mailto:mail@ambrel.example?subject=Ambrel Utilities: Vantrel", "C:\\", 1},
                               {"http://ambrel.example/", "C:\\", 1}}),
            os.shellExecutes);
  EXPECT_EQ(2u, app.Forms().size()) << "the window stays open after a link";
  EXPECT_EQ(
      "https://www.donations.example/xclick/business=donate@ambrel.example&item_name=Ambrel+Utilities"
      "&item_number=00000001&no_shipping=1&cs=1&tax=0&currency_code=USD",
      std::string(kDonationUrl));
}

TEST_F(AboutTest, ExitWhileOpenClosesBoth) {
  ChooseAbout();
  Choose("mPopExit");
  EXPECT_TRUE(app.Forms().empty());
  EXPECT_EQ(win::kNimDelete, os.trayCalls.back().message);
  EXPECT_EQ(1, os.quitMessages);
}

TEST_F(AboutTest, LayoutHasEveryControlOnceWithOkFirstInTabOrder) {
  const FormLayout layout = AboutFormLayout();
  EXPECT_EQ(13u, layout.controls.size());
  std::vector<int32_t> tabs;
  for (const ControlLayout& control : layout.controls) tabs.push_back(control.tabIndex);
  std::ranges::sort(tabs);
  EXPECT_EQ(tabs, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
  const auto links = std::ranges::count_if(layout.controls, &ControlLayout::linkPointer);
  EXPECT_EQ(3, links);
  EXPECT_EQ(cmdOK, layout.defaultControl);
  EXPECT_EQ(cmdOK, layout.cancelControl);
}

// Windows gives the first ShowWindow of a process the show state of its launcher (a
// shortcut set to run minimized or maximized, a launcher that starts programs hidden);
// the About window is that first show, since the main window never reaches the screen.
TEST(AboutShowState, OpensNormallyAndInFrontWhateverTheLauncherAsked) {
  for (int32_t launcher : {win::kSwHide, win::kSwShowMinNoActive, win::kSwShowMinimized,
                           win::kSwShowMaximized, win::kSwShowNormal}) {
    SCOPED_TRACE(launcher);
    testing::Program p;
    p.os.startupShowState = launcher;
    const WindowHandle editor = reinterpret_cast<WindowHandle>(0x9990);
    p.os.foreignWindows.insert(editor);
    p.os.foreground = editor;
    p.Start();
    p.Choose("mnuPopAbout");
    const testing::FakeWindow& about = p.os.Window(p.About()->hWnd());
    EXPECT_TRUE(about.visible);
    EXPECT_FALSE(about.minimized);
    EXPECT_FALSE(about.maximized);
    EXPECT_EQ(p.About()->hWnd(), p.os.foreground);
  }
}

// The frame around the client area is the one drawn at the DPI of the window's monitor,
// which differs from the system DPI after a change of scale or on a second monitor.
// Sizes worked out by hand from the fake's frame (4 px border, 23 px caption at 96 dpi).
TEST(AboutPlacement, ClientAreaHoldsTheLayoutAtTheMonitorsDpiAndTheWindowIsCentred) {
  struct Case {
    int32_t system, monitor;
    PixelRect outer;
  };
  for (const Case& c : {Case{96, 96, {312, 215, 711, 523}},     // 391 x 277 client
                        Case{96, 144, {212, 138, 811, 600}},    // 587 x 416 (5865 / 10 rounded)
                        Case{144, 96, {312, 215, 711, 523}},
                        Case{96, 192, {113, 61, 911, 677}}}) {  // 782 x 554
    SCOPED_TRACE(std::to_string(c.system) + " dpi system, " + std::to_string(c.monitor) + " dpi monitor");
    testing::Program p;
    p.os.dpi = c.system;
    p.os.monitorDpi = c.monitor;
    p.Start();
    p.Choose("mnuPopAbout");
    EXPECT_EQ(c.outer, p.os.Window(p.About()->hWnd()).rect);
  }
}

// Under a high-contrast theme the fixed black and blue could vanish on the theme's
// background; the theme's own colours for text, links and window never do.
TEST(AboutColours, HighContrastPaintsInTheThemesColoursAndOtherwiseInTheLayouts) {
  const auto system = [](SystemColor color) { return PaintColor{color}; };
  const FormLayout layout = AboutFormLayout();
  for (const ControlLayout& control : layout.controls) {
    SCOPED_TRACE(control.name);
    const ControlPaint contrast = PaintOf(control, true);
    EXPECT_EQ(system(control.linkPointer ? SystemColor::HotLight : SystemColor::WindowText), contrast.text);
    EXPECT_EQ(system(SystemColor::Window), contrast.background);
    const ControlPaint normal = PaintOf(control, false);
    if (control.textColor) {
      EXPECT_EQ(PaintColor{*control.textColor}, normal.text);
    } else {
      EXPECT_EQ(system(SystemColor::WindowText), normal.text);
    }
  }
  EXPECT_EQ(SystemColor::Window, FormBackground(true));
  EXPECT_EQ(SystemColor::ButtonFace, FormBackground(false));
  EXPECT_EQ((PaintColor{Rgb{192, 192, 192}}), PaintOf(layout.controls.front(), false).background);  // picIcon
  EXPECT_EQ((PaintColor{Rgb{0, 0, 255}}), PaintOf(layout.controls[6], false).text);  // Label3, a link
}

struct LauncherTest : ::testing::Test {
  FakeOs os;
  Application app{os};
};

TEST_F(LauncherTest, DisplayPropertiesStartsTheControlPanelMinimized) {
  OpenDisplayProperties(app);
  using Start = std::tuple<std::string, std::string, int32_t>;
  EXPECT_EQ((std::vector<Start>{{"rundll32.exe", "rundll32.exe shell32.dll,Control_RunDLL desk.cpl,,3", 2}}),
            os.processes);
  EXPECT_TRUE(os.messageBoxes.empty());
  os.startProcessResult = false;
  OpenDisplayProperties(app);
  ASSERT_EQ(1u, os.messageBoxes.size());
  EXPECT_EQ(win::kMbIconStop, os.messageBoxes[0].style);
}

}  // namespace
}  // namespace vantrel
