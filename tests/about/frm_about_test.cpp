#include "about/frm_about.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <ranges>

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
  const std::string& Text(uint32_t control) { return os.Window(About()->hWnd()).texts.at(control); }
};

TEST_F(AboutTest, OneWindowWithTitleAndVersionThatOkAndEscCloseAndAboutMakesAfresh) {
  Choose("mnuPopAbout");
  WindowHandle first = About()->hWnd();
  EXPECT_EQ("Version " VANTREL_VERSION, Text(lblVersion));
  EXPECT_EQ("Vantrel", Text(lblTitle));
  Choose("mnuPopAbout");
  EXPECT_EQ(2u, app.Forms().size());
  EXPECT_EQ(first, About()->hWnd());
  os.Send(first, win::kWmCommand, kCancelCommand, 0);  // Esc
  EXPECT_EQ(1u, app.Forms().size());
  EXPECT_EQ(0, os.quitMessages) << "the tray goes on";
  Choose("mnuPopAbout");
  EXPECT_NE(first, About()->hWnd());
  EXPECT_EQ("Version " VANTREL_VERSION, Text(lblVersion));
  ClickAbout(cmdOK);
  EXPECT_EQ(1u, app.Forms().size());
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

TEST(AboutLayout, HasEveryControlOnceWithOkFirstInTabOrderAndThreeLinks) {
  const FormLayout layout = AboutFormLayout();
  std::vector<int32_t> tabs;
  for (const ControlLayout& control : layout.controls) tabs.push_back(control.tabIndex);
  std::ranges::sort(tabs);
  EXPECT_EQ(tabs, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
  EXPECT_EQ(3, std::ranges::count_if(layout.controls, &ControlLayout::linkPointer));
  EXPECT_EQ((std::pair<uint32_t, uint32_t>{cmdOK, cmdOK}), std::pair(layout.defaultControl, layout.cancelControl));
  // Made in reading order, Tab walks the stops from the one focused at opening: in tab index order.
  auto stops = layout.controls | std::views::filter(IsKeyboardStop) | std::views::transform(&ControlLayout::id);
  std::vector<uint32_t> walk(stops.begin(), stops.end());
  std::ranges::rotate(walk, std::ranges::find(walk, FirstFocus(layout)));
  EXPECT_EQ((std::vector<uint32_t>{cmdOK, Label2, Label3, Label4}), walk);  // tab indices 0, 7, 8, 9
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

// Under a high-contrast theme the fixed black and blue could vanish on the theme's
// background; the theme's own colours for text, links and window never do.
TEST(AboutColours, HighContrastPaintsInTheThemesColoursAndOtherwiseInTheLayouts) {
  const FormLayout layout = AboutFormLayout();
  for (const ControlLayout& control : layout.controls) {
    SCOPED_TRACE(control.name);
    const ControlPaint contrast = PaintOf(control, true);
    EXPECT_EQ(PaintColor{control.linkPointer ? SystemColor::HotLight : SystemColor::WindowText}, contrast.text);
    EXPECT_EQ(PaintColor{SystemColor::Window}, contrast.background);
    EXPECT_EQ(control.textColor ? PaintColor{*control.textColor} : SystemColor::WindowText, PaintOf(control, false).text);
  }
  EXPECT_EQ((std::pair{SystemColor::Window, SystemColor::ButtonFace}), std::pair(FormBackground(true), FormBackground(false)));
  // Windows' default flags (126) say the theme is available, not that it is on (127).
  EXPECT_EQ((std::pair{false, true}), std::pair(HighContrastOn(126), HighContrastOn(127)));
  EXPECT_EQ((PaintColor{Rgb{0, 0, 255}}), PaintOf(layout.controls[6], false).text);  // Label3, a link
}

TEST(DisplayProperties, StartTheSystemsRundll32MinimizedAndReportAFailure) {
  FakeOs os;
  Application app(os);
  OpenDisplayProperties(app);
  using Start = std::tuple<std::string, std::string, int32_t>;
  EXPECT_EQ((std::vector<Start>{{"rundll32.exe", "rundll32.exe shell32.dll,Control_RunDLL desk.cpl,,3", 2}}),
            os.processes);
  EXPECT_TRUE(os.messageBoxes.empty());
  os.startProcessResult = false;
  OpenDisplayProperties(app);
  EXPECT_EQ(win::kMbIconStop, os.messageBoxes.at(0).style);
}

}  // namespace
}  // namespace vantrel
