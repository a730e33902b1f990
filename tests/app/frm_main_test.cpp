#include "app/frm_main.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "fakes/program.h"

namespace vantrel {
namespace {

using testing::FakeOs;
using testing::Program;

std::string FullTip(const NotifyIconData& data) { return std::string(data.szTip, sizeof data.szTip); }

std::string PaddedTip(const std::string& text) {
  return text + '\0' + std::string(64 - text.size() - 1, ' ');
}

ptrdiff_t IndexOf(const std::vector<std::string>& log, const std::string& line, bool last = false) {
  const auto found = last ? std::find(log.rbegin(), log.rend(), line).base() - 1
                          : std::find(log.begin(), log.end(), line);
  return found - log.begin();
}

struct MainWindowTest : ::testing::Test, testing::Program {};

TEST_F(MainWindowTest, MenuTreeHasTheNamesCaptionsAndModesOfTheLayout) {
  Start();
  std::vector<std::string> level1;
  for (const MenuItem& item : Item("mPopupSys").children) level1.push_back(item.name + "=" + item.caption);
  EXPECT_EQ((std::vector<std::string>{"m640x480=&640x480", "m800x600=&800x600", "m1024x768=&1024x768",
                                      "m1280x768=1&280x768", "m1280x960=1280x&960", "m1280x1024=128&0x1024",
                                      "m1600x1200=1&600x1200", "mnuSep2=-", "mnuDispProps=&Open Display Properties",
                                      "mnusep4=-", "mnuPopAbout=&About",
                                      "mnuWeb=http://ambrel.example/", "mnusep3=-", "mPopExit=E&xit"}),
            level1);
  EXPECT_FALSE(Item("mPopupSys").visible);
  EXPECT_EQ("&Systray", Item("mPopupSys").caption);
  const std::pair<const char*, ModeTriple> samples[] = {
      {"mnu640_60", {640, 480, 60}}, {"mnu12807_85", {1280, 768, 85}}, {"mnu12809_75", {1280, 960, 75}},
      {"mnu128010_100", {1280, 1024, 100}}, {"mnu1600_100", {1600, 1200, 100}}};
  for (const auto& [name, mode] : samples) {
    os.changeCalls.clear();
    Choose(name);
    ASSERT_FALSE(os.changeCalls.empty()) << name;
    const DevMode& request = os.changeCalls[0].record;
    EXPECT_EQ(mode, (ModeTriple{request.dmPelsWidth, request.dmPelsHeight, request.dmDisplayFrequency})) << name;
  }
  EXPECT_EQ("100 Hz", Item("mnu1600_100").caption);
  EXPECT_EQ("60 Hz", Item("mnu12809_60").caption);
}

TEST_F(MainWindowTest, ScanHidesOnlyWhatTheDriverCallsABadMode) {
  os.defaultTestCode = win::kDispChangeBadMode;
  for (int32_t rate : {60, 70, 72, 75, 85, 100}) os.testCodes[{640, 480, rate}] = 0;
  for (int32_t rate : {60, 70, 72, 75, 85}) os.testCodes[{800, 600, rate}] = -2;
  os.testCodes[{800, 600, 100}] = win::kDispChangeFailed;
  os.testCodes[{1024, 768, 72}] = win::kDispChangeRestart;
  Start();
  EXPECT_EQ(42u, os.Calls("ChangeDisplaySettingsA 2").size());
  EXPECT_EQ(os.Calls("ChangeDisplaySettingsA 2").size(), os.Calls("EnumDisplaySettingsA").size() - 1);
  const std::vector<std::string> expected = {
      "&640x480", "  60 Hz", "  70 Hz", "  72 Hz", "  75 Hz", "  85 Hz", "  100 Hz",
      "&800x600", "  100 Hz", "&1024x768", "  72 Hz", "-", "&Open Display Properties", "-",
      "&About", "http://ambrel.example/", "-", "E&xit"};
  EXPECT_EQ(expected, testing::VisibleMenu(Item("mPopupSys")));
  // A hidden group keeps its rate items untouched, and enabled.
  EXPECT_FALSE(Item("m1600x1200").visible);
  EXPECT_TRUE(Item("m1600x1200").enabled);
  EXPECT_TRUE(Item("mnu1600_60").visible);
}

TEST_F(MainWindowTest, ScanOfAnyCodesLeavesEveryVisibleGroupAChoice) {
  uint32_t seed = 12345;
  for (int round = 0; round < 50; ++round) {
    FakeOs codes;
    for (int32_t width : {640, 800, 1024, 1280, 1600})
      for (int32_t height : {480, 600, 768, 960, 1024, 1200})
        for (int32_t rate : {60, 70, 72, 75, 85, 100}) {
          seed = seed * 1103515245 + 12345;
          codes.testCodes[{width, height, rate}] = (seed >> 16) % 4 == 0 ? 0 : -2;
        }
    Application codesApp(codes);
    auto window = Main(codesApp);
    for (const MenuItem& group : FindMenuItem(window->Menu(), "mPopupSys")->children) {
      if (!group.visible || group.children.empty()) continue;
      EXPECT_TRUE(std::ranges::any_of(group.children, &MenuItem::visible)) << group.name;
    }
  }
}

TEST_F(MainWindowTest, LoadScansWithGroupsDisabledThenParksTheWindowAndAddsTheIcon) {
  std::vector<bool> enabledDuringScan;
  os.onDisplayChangeCall = [&] {
    MenuItem& menu = app.Forms().at(0)->Menu();  // still loading: Main has not returned
    for (const char* name : {"m640x480", "m1600x1200"}) enabledDuringScan.push_back(FindMenuItem(menu, name)->enabled);
  };
  os.testCodes[{1600, 1200, 60}] = -2;
  Start();
  EXPECT_TRUE(std::ranges::none_of(enabledDuringScan, [](bool enabled) { return enabled; }));
  for (const PopupRow& row : PopupRows()) EXPECT_TRUE(Item(row.name).enabled) << row.name;
  for (ptrdiff_t i = 0; i < IndexOf(os.log, "AnotherInstanceRunning"); ++i) {
    EXPECT_TRUE(os.log[i].starts_with("CreateFormWindow") || os.log[i] == "MoveWindow") << "guard first: " << os.log[i];
  }
  EXPECT_LT(IndexOf(os.log, "ChangeDisplaySettingsA 2", true), IndexOf(os.log, "Shell_NotifyIconA 0"));
  EXPECT_EQ(0.0, main->Left());
  EXPECT_EQ(20000.0, main->Top());
  EXPECT_EQ(1845.0, main->Width());
  EXPECT_EQ(510.0, main->Height());
  EXPECT_EQ(WindowState::Minimized, main->State());
  const testing::FakeWindow& window = os.Window(main->hWnd());
  EXPECT_FALSE(window.visible);
  EXPECT_EQ((PixelRect{0, 1333, 123, 1367}), window.rect);
  EXPECT_EQ(1000u, window.timers.at(kTimer1));
  EXPECT_TRUE(os.Calls("ShowWindow").empty()) << "every Resize hides it before it reaches the screen";

  ASSERT_EQ(1u, os.trayCalls.size());
  const NotifyIconData& record = LastTray();
  EXPECT_EQ(sizeof(NotifyIconData), record.cbSize);
  EXPECT_EQ(main->hWnd(), record.hWnd);
  EXPECT_EQ(1u, record.uID);
  EXPECT_EQ(7u, record.uFlags);
  EXPECT_EQ(512u, record.uCallbackMessage);
  EXPECT_EQ(main->Icon(), record.hIcon);
  EXPECT_EQ(PaddedTip("Current Resolution: 1024x768 60Hz"), FullTip(record));
}

TEST_F(MainWindowTest, SecondCopyEndsAtOnceWithoutScanIconOrWindow) {
  os.otherInstance = true;
  Start();
  EXPECT_TRUE(os.Calls("ChangeDisplaySettingsA").empty());
  EXPECT_TRUE(os.Calls("ShowWindow").empty());
  ASSERT_EQ(1u, os.trayCalls.size());
  EXPECT_EQ(win::kNimDelete, os.trayCalls[0].message);
  const NotifyIconData zero{};
  EXPECT_EQ(0, std::memcmp(&zero, &os.trayCalls[0].record, sizeof zero)) << "names no icon";
  EXPECT_FALSE(main->Loaded());
  EXPECT_EQ(1, os.quitMessages);
}

TEST_F(MainWindowTest, TooltipTextIsNulTerminatedAndBlankPadded) {
  NotifyIconData record{};
  for (const auto& [mode, text] : std::vector<std::pair<ModeTriple, std::string>>{
           {{1024, 768, 75}, "Current Resolution: 1024x768 75Hz"},
           {{1600, 1200, 100}, "Current Resolution: 1600x1200 100Hz"},
           {{0, 0, 0}, "Current Resolution: 0x0 0Hz"},
           {{INT32_MIN, INT32_MIN, INT32_MIN}, "Current Resolution: -2147483648x-2147483648 -2147483648Hz"}}) {
    std::memset(record.szTip, 'z', sizeof record.szTip);
    StoreTrayTip(record, mode.width, mode.height, mode.frequency);
    EXPECT_EQ(PaddedTip(text), FullTip(record));
  }
}

TEST_F(MainWindowTest, EveryTickRereadsTheModeAndModifiesTheTip) {
  Start();
  Tick();
  Tick();
  os.SetMode(800, 600, 75);
  Tick();
  ASSERT_EQ(4u, os.trayCalls.size());
  EXPECT_EQ(win::kNimModify, os.trayCalls[1].message);
  EXPECT_EQ(win::kNimModify, os.trayCalls[2].message);
  EXPECT_EQ(PaddedTip("Current Resolution: 800x600 75Hz"), FullTip(LastTray()));
  os.readFails = true;
  Tick();
  EXPECT_EQ(PaddedTip("Current Resolution: 0x0 0Hz"), FullTip(LastTray()));
}

TEST_F(MainWindowTest, OnlyARightButtonReleaseOpensThePopup) {
  for (int32_t dpi : {96, 120, 144, 192}) {
    FakeOs dpiOs;
    dpiOs.dpi = dpi;
    Application dpiApp(dpiOs);
    auto window = Main(dpiApp);
    for (uint32_t message = 512; message <= 518; ++message) dpiOs.SendTrayMouse(window->hWnd(), message);
    EXPECT_EQ(1u, dpiOs.popups.size()) << dpi << " dpi";
    const std::vector<std::string> expected = {"SetForegroundWindow", "TrackPopupMenu 0", "PostMessageA 0"};
    EXPECT_EQ(expected, std::vector<std::string>(dpiOs.log.end() - 3, dpiOs.log.end()));
  }
}

TEST_F(MainWindowTest, RateCommandNamesTheModeActuallyInForce) {
  Start();
  Choose("mnu800_60");
  EXPECT_EQ((ModeTriple{800, 600, 60}), CurrentModeTriple(os));
  EXPECT_EQ(PaddedTip("Current Resolution: 800x600 60Hz"), FullTip(LastTray()));

  // Refused: the tooltip keeps naming the mode in force, also while the box is open.
  os.testCodes[{1600, 1200, 100}] = win::kDispChangeRestart;
  os.whileMessageBoxOpen = [&] { Tick(); };
  Choose("mnu1600_100");
  EXPECT_EQ("Problem!", os.messageBoxes.at(0).caption);
  EXPECT_EQ(PaddedTip("Current Resolution: 800x600 60Hz"), FullTip(LastTray()));
  EXPECT_EQ(win::kNimModify, os.trayCalls.back().message);
}

TEST_F(MainWindowTest, ExitRemovesTheIconAndClosesEveryWindow) {
  Start();
  Form other(app, {.className = "other", .caption = "Other"});
  other.Show();
  Choose("mPopExit");
  EXPECT_EQ(win::kNimDelete, os.trayCalls.back().message);
  EXPECT_EQ(main->hWnd(), nullptr);
  EXPECT_FALSE(other.Loaded());
  EXPECT_TRUE(app.Forms().empty());
  EXPECT_EQ(1, os.quitMessages);
  EXPECT_TRUE(std::ranges::none_of(os.windows, [](const auto& entry) { return entry.second.visible; }));
}

TEST_F(MainWindowTest, ExitAloneClosesOnlyTheMainWindow) {
  Start();
  Choose("mPopExit");
  EXPECT_EQ(1u, os.Calls("DestroyWindow").size());
  EXPECT_EQ(1, os.quitMessages);
}

// The tray and the title bar show the small icon; scaled down from the large one, or taken
// from a cache at another size, it would look blurred there. Sizes by hand: 16 px at 96 dpi.
TEST(TrayIcon, IsTheSmallIconLoadedAtItsOwnSizeAndGivenBackAtTheEnd) {
  for (const auto& [dpi, small, large] : {std::tuple{96, 16, 32}, {120, 20, 40}, {144, 24, 48}}) {
    SCOPED_TRACE(dpi);
    FakeOs os;
    os.dpi = dpi;
    {
      Application app(os);
      auto main = Main(app);
      EXPECT_EQ(small, os.iconSizes.at(os.trayCalls.at(0).record.hIcon));
      const FormIcons& classIcons = os.Window(main->hWnd()).icons;
      EXPECT_EQ(small, os.iconSizes.at(classIcons.small));
      EXPECT_EQ(large, os.iconSizes.at(classIcons.large));
    }
    EXPECT_TRUE(os.iconSizes.empty()) << "every icon loaded is destroyed";
  }
}

// After Esc on the popup the hidden window holds the foreground; an Alt+F4 meant for the
// program the user was in must not end this one.
TEST_F(MainWindowTest, TheForegroundGoesBackAfterThePopupAndAltF4NeverEndsTheHiddenWindow) {
  const WindowHandle editor = reinterpret_cast<WindowHandle>(0x9990);
  os.foreignWindows.insert(editor);
  os.foreground = editor;
  Start();
  Choose("");
  EXPECT_EQ(editor, os.foreground);
  os.PressAltF4();
  EXPECT_EQ(std::vector<WindowHandle>{editor}, os.closedByKeyboard);

  os.foreignWindows.erase(editor);  // closed: the foreground cannot go back to it
  Choose("");
  EXPECT_EQ(main->hWnd(), os.foreground);
  os.PressAltF4();
  EXPECT_TRUE(main->Loaded()) << "the hidden window ignores a keyboard close";

  Choose("mnuPopAbout");
  EXPECT_EQ(About()->hWnd(), os.foreground) << "a window the command opened keeps it";
  os.PressAltF4();
  EXPECT_EQ(nullptr, About()) << "Alt+F4 closes the About window, which the user sees";
  EXPECT_TRUE(main->Loaded());
  Choose("mPopExit");
  EXPECT_FALSE(main->Loaded());
}

// However the program ends, no icon stays behind in the tray: the end of the session, or a
// message loop that ended without Exit (a WM_QUIT posted by another program).
TEST_F(MainWindowTest, EveryEndWithoutExitRemovesTheIconAndClosesEveryWindow) {
  Start();
  Choose("mnuPopAbout");
  os.Send(main->hWnd(), win::kWmEndSession, 0, 0);  // the end of the session was called off
  EXPECT_EQ(2u, app.Forms().size());
  EXPECT_EQ(win::kNimAdd, os.trayCalls.back().message);
  os.Send(main->hWnd(), win::kWmEndSession, 1, 0);
  EXPECT_TRUE(app.Forms().empty());
  EXPECT_EQ(win::kNimDelete, os.trayCalls.back().message);

  Program quit;
  quit.Start();
  quit.Choose("mnuPopAbout");
  quit.main.reset();
  EXPECT_TRUE(quit.app.Forms().empty());
  EXPECT_EQ(win::kNimDelete, quit.os.trayCalls.back().message);
  EXPECT_EQ(quit.os.trayCalls.at(0).record.hWnd, quit.os.trayCalls.back().record.hWnd);
}

}  // namespace
}  // namespace vantrel
