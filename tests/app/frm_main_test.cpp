#include "app/frm_main.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "fakes/program.h"

namespace vantrel {
namespace {

using testing::FakeOs;
using testing::Program;
using testing::TipFor;
using testing::TipOf;
using Messages = std::vector<uint32_t>;

std::string FullTip(const NotifyIconData& data) { return std::string(data.szTip, sizeof data.szTip); }
std::string PaddedTip(const std::string& text) { return text + '\0' + std::string(63 - text.size(), ' '); }

struct MainWindowTest : ::testing::Test, Program {};

// The captions are checked under Wine, where the popup shows them; 60 Hz is Wine's only rate.
TEST_F(MainWindowTest, EachRateItemChoosesItsMode) {
  Start();
  const std::pair<const char*, ModeTriple> samples[] = {
      {"mnu640_60", {640, 480, 60}}, {"mnu12807_85", {1280, 768, 85}}, {"mnu12809_75", {1280, 960, 75}},
      {"mnu128010_100", {1280, 1024, 100}}, {"mnu1600_100", {1600, 1200, 100}}};
  for (const auto& [name, mode] : samples) {
    Choose(name);
    EXPECT_EQ(mode, CurrentModeTriple(os)) << name;
    EXPECT_EQ(std::to_string(mode.frequency) + " Hz", std::string(Item(name).caption));
  }
}

TEST_F(MainWindowTest, TheScanHidesOnlyWhatTheDriverCallsABadMode) {
  os.defaultTestCode = win::kDispChangeBadMode;
  for (int32_t rate : {60, 70, 72, 75, 85, 100}) os.testCodes[{640, 480, rate}] = 0;
  os.testCodes[{800, 600, 100}] = win::kDispChangeFailed;
  os.testCodes[{1024, 768, 72}] = win::kDispChangeRestart;
  Start();
  EXPECT_EQ(42u, os.Calls("ChangeDisplaySettingsA 2").size()) << "every mode of the menu tested once";
  EXPECT_EQ((std::vector<std::string>{"&640x480", "  60 Hz", "  70 Hz", "  72 Hz", "  75 Hz", "  85 Hz", "  100 Hz",
                                      "&800x600", "  100 Hz", "&1024x768", "  72 Hz", "-", "&Open Display Properties",
                                      "-", "&About", "http://ambrel.example/", "-", "E&xit"}),
            testing::VisibleMenu(Item("mPopupSys")));
  EXPECT_TRUE(Item("m1600x1200").enabled) << "a hidden group is enabled again after the scan";
  EXPECT_TRUE(Item("mnu1600_60").visible) << "a hidden group's rate items are left alone";
}

TEST_F(MainWindowTest, LoadScansWithGroupsDisabledThenParksTheWindowAndAddsTheIcon) {
  std::vector<bool> enabledDuringScan;
  os.onDisplayChangeCall = [&] {
    MenuItem& menu = app.Forms().at(0)->Menu();  // still loading: Main has not returned
    for (const char* name : {"m640x480", "m1600x1200"}) enabledDuringScan.push_back(FindMenuItem(menu, name)->enabled);
  };
  ASSERT_EQ(Messages{win::kNimAdd}, TrayMessagesOf([&] { Start(); }));
  EXPECT_EQ(std::vector<bool>(84, false), enabledDuringScan);
  const auto guard = std::ranges::find(os.log, "AnotherInstanceRunning");
  EXPECT_TRUE(std::all_of(os.log.begin(), guard, [](const std::string& call) {
    return call.starts_with("CreateFormWindow") || call == "MoveWindow";
  })) << "the guard comes first";
  EXPECT_EQ((std::tuple{0.0, 20000.0, 1845.0, 510.0, WindowState::Minimized}),
            std::tuple(main->Left(), main->Top(), main->Width(), main->Height(), main->State()));
  const testing::FakeWindow& window = os.Window(main->hWnd());
  EXPECT_EQ((PixelRect{0, 1333, 123, 1367}), window.rect);
  EXPECT_EQ(1000u, window.timers.at(kTimer1));
  EXPECT_FALSE(window.seenOnScreen);
  const NotifyIconData& record = LastTray();
  EXPECT_EQ((std::tuple{sizeof(NotifyIconData), main->hWnd(), 1u, 7u, 512u, main->Icon()}),
            std::tuple(size_t{record.cbSize}, record.hWnd, record.uID, record.uFlags, record.uCallbackMessage,
                       record.hIcon));
  EXPECT_EQ(PaddedTip("Current Resolution: 1024x768 60Hz"), FullTip(record));

  EXPECT_EQ(0, app.ExitCode());
  EXPECT_EQ(std::vector<std::string>{"RegisterApplicationRestart 11"}, os.Calls("RegisterApplicationRestart"))
      << "restarted after an update only, not after a crash, a hang or a reboot";
}

// Started again, Vantrel ends at once and adds nothing, but asks the copy running in this
// session at this integrity level to open its menu at its icon (Windows 11 hides new icons in
// the overflow) and lets it take the foreground. Any other copy is left alone.
TEST_F(MainWindowTest, ASecondStartEndsAtOnceAndOpensTheRunningCopysMenuAtItsIcon) {
  const WindowHandle editor = reinterpret_cast<WindowHandle>(0x9990);
  os.foreignWindows.insert(editor);
  os.foreground = editor;
  Start();
  const WindowHandle running = reinterpret_cast<WindowHandle>(0x5000);  // as the second copy's system names it
  struct Case { std::optional<ProcessPlace> place; bool asked; };
  uint32_t showMenu = 0;
  for (const auto& [place, asked] : {Case{ProcessPlace{7, 1, 0x2000}, true}, {ProcessPlace{7, 2, 0x2000}, false},
                                     {ProcessPlace{7, 1, 0x3000}, false}, {ProcessPlace{7, 1, 0x1000}, false}, {}}) {
    Program second;
    second.os.otherInstance = true;
    second.os.otherWindows[running] = {MainFormLayout().className, place, {}};
    ASSERT_EQ(Messages{win::kNimDelete}, second.TrayMessagesOf([&] { second.Start(); }));
    EXPECT_TRUE(second.os.Calls("ChangeDisplaySettingsA").empty()) << "a second copy scans nothing";
    const NotifyIconData zero{};
    EXPECT_EQ(0, std::memcmp(&zero, &second.LastTray(), sizeof zero)) << "the delete names no icon";
    EXPECT_EQ((std::pair{1, 0}), std::pair(second.os.quitMessages, second.app.ExitCode())) << "it ends as it should";
    EXPECT_TRUE(second.os.Calls("RegisterApplicationRestart").empty()) << "only the copy that stays is restarted";
    EXPECT_EQ(asked ? 1u : 0u, second.os.posted.size());
    EXPECT_EQ(asked ? std::vector<std::string>{"AllowSetForegroundWindow 7"} : std::vector<std::string>{},
              second.os.Calls("AllowSetForegroundWindow"));
    for (const auto& [window, message] : second.os.posted) {
      EXPECT_EQ(running, window);
      os.Send(main->hWnd(), showMenu = message, 0, 0);  // delivered to the running copy
    }
  }
  ASSERT_EQ(1u, os.popups.size()) << "the menu opened once";
  EXPECT_EQ((PixelPoint{1023, 767}), os.popupPlaces.back()) << "the shell cannot tell where the icon is: the taskbar's end";
  EXPECT_EQ(editor, os.foreground) << "dismissed, the foreground goes back to where the user was";
  os.iconRect = PixelRect{1000, 748, 1020, 768};
  os.Send(main->hWnd(), showMenu, 0, 0);
  EXPECT_EQ((PixelPoint{1010, 758}), os.popupPlaces.back());

  Program unseen;  // in a service's session or window station
  unseen.os.visibleDesktop = false;
  ASSERT_EQ(Messages{win::kNimDelete}, unseen.TrayMessagesOf([&] { unseen.Start(); })) << "no icon nobody could see";
  EXPECT_EQ(std::tuple(true, 1, 0), std::tuple(unseen.os.Calls("ChangeDisplaySettingsA").empty(),
                                               unseen.os.quitMessages, unseen.app.ExitCode()));
}

TEST_F(MainWindowTest, EveryTickRereadsTheModeAndModifiesWithTheWholeRecord) {
  Start();
  NotifyIconData added = LastTray();
  os.SetMode(800, 600, 75);
  EXPECT_FALSE(os.sessionWatched) << "the session service is not loaded during start-up";
  Tick();
  EXPECT_TRUE(os.sessionWatched);
  StoreTrayTip(added, 800, 600, 75);
  EXPECT_EQ(0, std::memcmp(&added, &LastTray(), sizeof added)) << "the record as added, flags 7, with the new tip";
  os.readFails = true;  // the display driver restarts
  EXPECT_EQ(Messages{win::kNimModify}, TrayMessagesOf([&] { Tick(); }));
  EXPECT_EQ(0, std::memcmp(&added, &LastTray(), sizeof added)) << "the last mode read, never 0x0 0Hz";
  os.readFails = false;
  os.SetMode(1024, 768, 60);
  Tick();
  EXPECT_EQ(PaddedTip("Current Resolution: 1024x768 60Hz"), FullTip(LastTray()));
  NotifyIconData longest{};
  StoreTrayTip(longest, INT32_MIN, INT32_MIN, INT32_MIN);
  EXPECT_EQ(PaddedTip("Current Resolution: -2147483648x-2147483648 -2147483648Hz"), FullTip(longest));

  Program unread;  // no mode read yet: the tooltip names the program until a tick reads one
  unread.os.readFails = true;
  unread.Start();
  EXPECT_EQ(PaddedTip("Vantrel"), FullTip(unread.LastTray()));
  unread.Tick();
  EXPECT_EQ(PaddedTip("Vantrel"), FullTip(unread.LastTray()));
  unread.os.readFails = false;
  unread.Tick();
  EXPECT_EQ(TipFor(1024, 768, 60), unread.Tip());
}

TEST_F(MainWindowTest, ARateCommandNamesTheModeActuallyInForce) {
  Start();
  Choose("mnu800_60");
  EXPECT_EQ((ModeTriple{800, 600, 60}), CurrentModeTriple(os));
  EXPECT_EQ(TipFor(800, 600, 60), Tip());
  // Refused: the tooltip keeps naming the mode in force, also while the box is open.
  os.testCodes[{1600, 1200, 100}] = win::kDispChangeRestart;
  os.whileMessageBoxOpen = [&] { Tick(); };
  Choose("mnu1600_100");
  EXPECT_EQ("Problem!", os.messageBoxes.at(0).caption);
  EXPECT_EQ(TipFor(800, 600, 60), Tip());
  EXPECT_EQ(win::kNimModify, os.trayCalls.back().message);
}

// A dock, another primary monitor or a Remote Desktop session puts another display behind
// the mode functions: the next popup offers what that one accepts, also what the last one
// refused. A mode change, this program's or another's, asks the driver nothing.
TEST_F(MainWindowTest, TheMenuFollowsThePrimaryDisplayAndAModeChangeScansNothing) {
  const auto refuse = [&](std::initializer_list<std::tuple<int32_t, int32_t, int32_t>> modes) {
    os.testCodes.clear();
    for (const auto& mode : modes) os.testCodes[mode] = win::kDispChangeBadMode;
  };
  const auto menu = [&] { return Choose(""), os.popups.back(); };
  const auto tests = [&] { return os.Calls("ChangeDisplaySettingsA 2").size(); };
  refuse({{800, 600, 85}});
  for (int32_t rate : RefreshRates()) os.testCodes[{1600, 1200, rate}] = win::kDispChangeBadMode;
  Start();
  std::vector<std::string> before = menu();
  EXPECT_EQ(0, std::ranges::count(before, "1&600x1200"));
  Choose("mnu800_60");
  os.SetMode(1280, 1024, 60);  // another program's change
  os.BroadcastDisplayChange();
  os.Send(main->hWnd(), win::kWmWtsSessionChange, 8, 1);  // unlocked
  EXPECT_EQ(42u + 1u, tests()) << "the scan, and the test before the switch";
  EXPECT_EQ(before, menu());

  os.adapters[0].monitors = {"MONITOR\\SAM0F9E\\0001"};  // docked: another monitor
  refuse({{640, 480, 60}, {640, 480, 70}, {640, 480, 72}, {640, 480, 75}, {640, 480, 85}, {640, 480, 100}});
  os.BroadcastDisplayChange();
  EXPECT_EQ(42u * 2 + 1, tests());
  std::vector<std::string> after = testing::VisibleMenu(Item("mPopupSys"));
  EXPECT_EQ(after, menu()) << "the menu built again";
  EXPECT_EQ(6, std::ranges::count(after, "  85 Hz")) << "every group, 800x600 and 1600x1200 again, but 640x480";
  EXPECT_EQ((std::pair<long, long>{0, 1}), std::pair(std::ranges::count(after, "&640x480"), std::ranges::count(after, "1&600x1200")));

  // Another monitor made the primary one, noticed when the session comes back to the console.
  os.adapters.push_back({"\\\\.\\DISPLAY2", "PCI\\VEN_10DE", true, {"MONITOR\\GSM5B7F\\0002"}});
  os.adapters[0].primary = false;
  refuse({});
  os.Send(main->hWnd(), win::kWmWtsSessionChange, 1, 1);
  EXPECT_EQ(42u * 3 + 1, tests());
  EXPECT_EQ(7, std::ranges::count(menu(), "  100 Hz"));
}

// A shell with a memory: it holds at most the icons it accepted, refuses a second add of
// one it has, a modify of one it lacks, and everything while it is down.
struct Shell {
  bool up = true;
  int icons = 0;
  std::string tip;
  bool Answer(uint32_t message, const NotifyIconData& record) {
    if (!up) return false;
    const bool known = icons > 0;
    if (message == win::kNimAdd && !known) icons = 1;
    if (message == win::kNimDelete && known) icons = 0;
    if (message != win::kNimDelete && (message == win::kNimAdd) != known) tip = TipOf(record);
    return message == win::kNimAdd ? !known : known;
  }
};

TEST(ShellFaults, AnIconTheShellLostComesBackOnceWithTheModeInForce) {
  Program p;
  Shell shell;
  p.os.trayAnswers = [&](uint32_t message) { return shell.Answer(message, p.LastTray()); };
  p.Start();
  shell.up = false;  // Explorer crashed
  shell.icons = 0;
  EXPECT_EQ(Messages{win::kNimModify}, p.TrayMessagesOf([&] { p.Tick(); })) << "the first sign of the loss";
  p.os.SetMode(800, 600, 60);
  EXPECT_EQ((Messages{win::kNimAdd, win::kNimModify}), p.TrayMessagesOf([&] { p.Tick(); })) << "once a tick";
  shell.up = true;
  EXPECT_EQ(Messages{win::kNimAdd}, p.TrayMessagesOf([&] { p.TaskbarCreated(); }));
  EXPECT_EQ(TipFor(800, 600, 60), shell.tip);
  EXPECT_EQ((Messages{win::kNimAdd, win::kNimModify}), p.TrayMessagesOf([&] { p.TaskbarCreated(); }))
      << "a late announcement adds no second icon";
  EXPECT_EQ(Messages{win::kNimModify}, p.TrayMessagesOf([&] { p.Tick(); }));
  shell.icons = 0;  // another program took the icon away
  p.Tick();
  p.Tick();
  EXPECT_EQ(1, shell.icons);
  EXPECT_TRUE(p.os.messageBoxes.empty());
}

// Message boxes are modal to nothing, so the tray keeps answering while one is open;
// Exit chosen there ends the program for good once the box returns.
TEST(BusyFaults, ExitWhileAMessageBoxIsOpenEndsEverythingAndTheIconStaysGone) {
  const std::pair<const char*, std::function<void(Program&)>> boxes[] = {
      {"refused mode", [](Program& p) {
         p.os.testCodes[{1280, 1024, 85}] = win::kDispChangeRestart;
         p.Choose("mnu128010_85");
       }},
      {"browser", [](Program& p) {
         p.os.shellExecuteResult = 2;
         p.Choose("mnuWeb");
       }},
      {"control panel", [](Program& p) {
         p.os.startProcessResult = false;
         p.Choose("mnuDispProps");
       }},
  };
  for (const auto& [name, raiseBox] : boxes) {
    SCOPED_TRACE(name);
    Program p;
    p.Start();
    p.Choose("mnuPopAbout");
    p.os.whileMessageBoxOpen = [&] { p.Choose("mPopExit"); };
    raiseBox(p);
    EXPECT_EQ(1u, p.os.messageBoxes.size());
    EXPECT_TRUE(p.app.Forms().empty()) << "the About window is closed too";
    EXPECT_EQ(2u, p.os.Calls("DestroyWindow").size());
    EXPECT_EQ(1, p.os.quitMessages);
    EXPECT_EQ(win::kNimDelete, p.os.trayCalls.back().message) << "the last word to the shell";
  }
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

  Choose("mnuPopAbout");  // a window the command opened keeps the foreground
  os.PressAltF4();
  EXPECT_EQ(nullptr, About()) << "Alt+F4 closes the About window, which the user sees";
  EXPECT_TRUE(main->Loaded());

  // A program a command started shows once the foreground went back, and comes to the front.
  os.foreignWindows.insert(editor);
  for (const char* launcher : {"mnuWeb", "mnuDispProps"}) {
    os.foreground = editor;
    Choose(launcher);
    os.ShowStartedPrograms();
    EXPECT_EQ(os.startedPrograms.back().window, os.foreground) << launcher;
  }
}

// The shell reports the keyboard's menu key on the icon as a right-button release, never
// a press. The menu opens at the icon then, not at a pointer left elsewhere, and once it is
// dismissed from the keyboard the focus stays in the notification area.
TEST_F(MainWindowTest, AMenuOpenedFromTheKeyboardOpensAtTheIconAndHandsTheFocusBack) {
  const WindowHandle editor = reinterpret_cast<WindowHandle>(0x9990);
  os.foreignWindows.insert(editor);
  Start();
  Choose("");
  EXPECT_EQ(os.cursor, os.popupPlaces.back()) << "a shell that cannot tell where the icon is";
  const PixelRect icon{1000, 748, 1020, 768};
  os.iconRect = icon;
  os.cursor = {1019, 767};
  EXPECT_EQ(Messages{}, TrayMessagesOf([&] { Choose(""); }));
  EXPECT_EQ(os.cursor, os.popupPlaces.back()) << "a click on the icon opens the menu at the pointer";
  // Windows 11 puts new icons in the overflow flyout, which closes once the foreground moves.
  // The first pixel past the icon's right or bottom edge is not on it. The press (516)
  // opens nothing.
  os.iconInFlyout = true;
  for (const PixelPoint elsewhere : {PixelPoint{1020, 750}, PixelPoint{1005, 768}, PixelPoint{3000, 200}}) {
    os.iconRect = icon;
    os.cursor = elsewhere;
    os.foreground = editor;
    EXPECT_EQ(Messages{win::kNimSetFocus}, TrayMessagesOf([&] { os.SendTrayMouse(main->hWnd(), 516), Choose(""); }));
    EXPECT_EQ((PixelPoint{1010, 758}), os.popupPlaces.back());
    EXPECT_EQ(FakeOs::kNotificationArea, os.foreground) << "the window the user was in stays behind";
  }
  EXPECT_EQ(main->hWnd(), LastTray().hWnd);
  os.setFocusTakesForeground = false;  // a shell that leaves the foreground with the menu's owner
  os.iconRect = icon;
  os.foreground = editor;
  EXPECT_EQ(Messages{win::kNimSetFocus}, TrayMessagesOf([&] { Choose(""); }));
  EXPECT_EQ(editor, os.foreground) << "the arrow keys reach the window the user came from";
  os.iconRect = icon;
  os.choosePopupItem = [&](const MenuItem&) { return os.SetForegroundWindow(editor), 0u; };
  EXPECT_EQ(Messages{}, TrayMessagesOf([&] { os.SendTrayMouse(main->hWnd(), win::kWmRButtonUp); }));
  EXPECT_EQ(editor, os.foreground) << "a click on another window dismissed the menu; it stays in front";
  os.iconRect = icon;
  EXPECT_EQ(Messages{}, TrayMessagesOf([&] { Choose("mnuPopAbout"); })) << "a choice keeps its own window in front";
  EXPECT_EQ(About()->hWnd(), os.foreground);
  for (const std::string& flags : os.Calls("TrackPopupMenu")) EXPECT_EQ("TrackPopupMenu 0", flags) << "left button only";
}

// Windows hands the launcher's show state (a shortcut set to run minimized or maximized, a
// launcher that starts programs hidden) to the first show of the process's first top-level,
// unowned window with a caption, under either reading of which show spends it. Every message
// box is such a window, and the box saying the main window could not be made may come first
// of all. Whatever the launcher asked, every box appears normally, which brings it to the
// front, with its own taskbar button (no owner); so does the About window; the hidden window
// never reaches the screen.
struct LauncherShowState : ::testing::TestWithParam<testing::ShowStateReading> {};

TEST_P(LauncherShowState, EveryBoxAndTheAboutWindowAppearNormallyAndInFrontAndNothingFlashes) {
  for (int32_t launcher : {win::kSwHide, win::kSwShowMinimized, win::kSwShowMinNoActive, win::kSwShowMaximized}) {
    SCOPED_TRACE(launcher);
    Program broken;
    broken.os.startupShowState = launcher;
    broken.os.reading = GetParam();
    broken.os.createFails = true;
    broken.Start();
    EXPECT_EQ(1, broken.app.ExitCode()) << "a start that failed says so to its launcher";
    Program p;
    p.os.startupShowState = launcher;
    p.os.reading = GetParam();
    p.os.monitors = {{0, 0, 1920, 1080}, {-320, 1080, 2240, 2520}};  // stacked, past 20000 twips
    p.Start();
    p.os.testCodes[{800, 600, 60}] = win::kDispChangeBadMode;
    p.Choose("mnu800_60");
    p.os.shellExecuteResult = 2;
    p.Choose("mnuWeb");
    p.Choose("mnuPopAbout");
    const testing::FakeWindow& about = p.os.Window(p.About()->hWnd());
    EXPECT_EQ((std::tuple{true, false, false}), std::tuple(about.visible, about.minimized, about.maximized));
    EXPECT_EQ(p.About()->hWnd(), p.os.foreground);
    std::vector<testing::MessageBoxCall> boxes = broken.os.messageBoxes;
    boxes.insert(boxes.end(), p.os.messageBoxes.begin(), p.os.messageBoxes.end());
    ASSERT_EQ(3u, boxes.size());
    for (const testing::MessageBoxCall& box : boxes) {
      EXPECT_EQ((std::pair<int32_t, WindowHandle>{win::kSwShowNormal, nullptr}), std::pair(box.shownAs, box.owner))
          << box.text;
    }
    for (const auto& [handle, window] : p.os.windows) EXPECT_EQ(handle == p.About()->hWnd(), window.seenOnScreen);
  }
}

INSTANTIATE_TEST_SUITE_P(EachReading, LauncherShowState,
                         ::testing::Values(testing::ShowStateReading::AnyFirstShowSpends, testing::ShowStateReading::OnlyATakenShowSpends),
                         [](const auto& reading) { return reading.index == 0 ? "ReactOS" : "Microsoft"; });

// Once the scale of the taskbar's monitor changes, the notification area wants another size
// of the small icon, or it stretches the old one. The system DPI stays as it was at sign-in,
// and the hidden window may lie nearest another monitor, whose WM_DPICHANGED says nothing of
// the taskbar's.
TEST(TrayIcon, FollowsTheScaleOfTheTaskbarsMonitorAndGivesEachIconBackOnce) {
  FakeOs os;
  {
    Application app(os);
    auto main = Main(app);
    const auto scaled = [&](int32_t taskbarDpi, uint32_t message, uintptr_t wParam) {
      os.taskbarDpi = taskbarDpi;
      os.log.clear();
      os.Send(main->hWnd(), message, wParam, 0);
      std::vector<std::string> shellAndRelease;
      std::ranges::copy_if(os.log, std::back_inserter(shellAndRelease),
                           [](const std::string& call) { return call.starts_with("Shell_") || call == "DestroyIcon"; });
      return std::pair(os.iconSizes.at(os.trayCalls.back().record.hIcon), shellAndRelease);
    };
    os.monitorDpi = 120;
    using Calls = std::vector<std::string>;
    EXPECT_EQ((std::pair{32, Calls{"Shell_NotifyIconA 1"}}), scaled(192, win::kWmSettingChange, 0x9F));
    const IconHandle doubled = os.trayCalls.back().record.hIcon;
    EXPECT_TRUE(os.iconSizes.contains(os.Window(main->hWnd()).icons.small)) << "the window class keeps its own";
    EXPECT_EQ((std::pair{16, Calls{"Shell_NotifyIconA 1", "DestroyIcon"}}), scaled(0, win::kWmDisplayChange, 32))
        << "a system that cannot tell: the start-up metric, the double size released once the shell has this one";
    EXPECT_EQ(1, os.iconsDestroyed[doubled]);
    EXPECT_EQ((std::pair{24, Calls{"Shell_NotifyIconA 0", "DestroyIcon"}}),
              scaled(144, os.RegisterWindowMessageA("TaskbarCreated"), 0))
        << "a restarted Explorer at another scale";
    EXPECT_EQ(Calls{}, scaled(144, win::kWmDpiChanged, 0).second) << "the same size: nothing loaded or told";
  }
  EXPECT_TRUE(os.iconSizes.empty()) << "every icon loaded is destroyed";
  for (const auto& [icon, times] : os.iconsDestroyed) EXPECT_EQ(1, times) << "once";
}

}  // namespace
}  // namespace vantrel
