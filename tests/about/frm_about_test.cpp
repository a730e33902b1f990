#include "about/frm_about.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/module1.h"
#include "fakes/fake_os.h"
#include "launch/web_stuff_functions.h"
#include "res/frm_about_layout.h"

namespace vantrel {
namespace {

using testing::FakeOs;

struct AboutTest : ::testing::Test {
  FakeOs os;
  Application app{os};
  std::unique_ptr<frmMain> main = Main(app);

  void ChooseAbout() {
    os.choosePopupItem = [&](const MenuItem&) { return FindMenuItem(main->Menu(), "mnuPopAbout")->id; };
    os.SendTrayMouse(main->hWnd(), win::kWmRButtonUp);
  }
  Form* About() const { return app.Forms().size() > 1 ? app.Forms()[1] : nullptr; }
  const std::string& Text(uint32_t control) { return os.Window(About()->hWnd()).texts.at(control); }
  void Click(uint32_t control) { os.Send(About()->hWnd(), win::kWmCommand, control, 0); }
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
  os.choosePopupItem = [&](const MenuItem&) { return FindMenuItem(main->Menu(), "mPopExit")->id; };
  os.SendTrayMouse(main->hWnd(), win::kWmRButtonUp);
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

struct LauncherTest : ::testing::Test {
  FakeOs os;
  Application app{os};
};

TEST_F(LauncherTest, DisplayPropertiesStartsTheControlPanelMinimized) {
  OpenDisplayProperties(app);
  using Start = std::pair<std::string, int32_t>;
  EXPECT_EQ((std::vector<Start>{{"rundll32.exe shell32.dll,Control_RunDLL desk.cpl,,3", 2}}), os.processes);
  EXPECT_TRUE(os.messageBoxes.empty());
  os.startProcessResult = false;
  OpenDisplayProperties(app);
  ASSERT_EQ(1u, os.messageBoxes.size());
  EXPECT_EQ(win::kMbIconStop, os.messageBoxes[0].style);
}

}  // namespace
}  // namespace vantrel
