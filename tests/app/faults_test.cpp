// The tray program when the system around it misbehaves: the display driver cannot
// say which mode is in force, the shell refuses or forgets the icon, launchers fail
// with every error code, and the user keeps clicking while a window or a message box
// is open. Each test drives the whole program through the fake operating system.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fakes/program.h"
#include "launch/web_stuff_functions.h"
#include "res/maker.h"
#include "res/frm_about_layout.h"
#include "res/frm_main_layout.h"

namespace vantrel {
namespace {

using testing::Program;
using testing::TipFor;
using testing::TipOf;
const std::string kZeroTip = "Current Resolution: 0x0 0Hz";

using Messages = std::vector<uint32_t>;
const Messages kAddThenModify = {win::kNimAdd, win::kNimModify};
const Messages kAdd = {win::kNimAdd};
const Messages kModify = {win::kNimModify};

// ---- the current mode cannot be read ---------------------------------------------------

TEST(ModeReadFaults, EveryReadFailingShowsZerosAndEveryCommandStillWorks) {
  Program p;
  p.os.testCodes[{1280, 768, 60}] = win::kDispChangeBadMode;
  p.os.readFails = true;
  p.Start();
  ASSERT_TRUE(p.main->Loaded());
  EXPECT_FALSE(p.Item("mnu12807_60").visible) << "the scan still runs and still hides";
  EXPECT_TRUE(p.Item("mnu12807_70").visible);
  ASSERT_EQ(1u, p.os.trayCalls.size());
  EXPECT_EQ(win::kNimAdd, p.os.trayCalls[0].message);
  EXPECT_EQ(kZeroTip, p.Tip()) << "a mode that cannot be read is never guessed";

  for (int tick = 0; tick < 3; ++tick) {
    const size_t reads = p.os.readRecords.size();
    EXPECT_EQ(kModify, p.TrayMessagesOf([&] { p.Tick(); })) << "one request per tick, no retry";
    EXPECT_EQ(reads + 1, p.os.readRecords.size());
    EXPECT_EQ(kZeroTip, p.Tip());
  }

  // The driver takes the request although its base could not be read; the tooltip
  // still names no mode it could not confirm.
  p.Choose("mnu800_60");
  EXPECT_TRUE(p.os.messageBoxes.empty());
  EXPECT_EQ(kZeroTip, p.Tip());
  p.os.testCodes[{1600, 1200, 100}] = win::kDispChangeRestart;
  p.Choose("mnu1600_100");
  ASSERT_EQ(1u, p.os.messageBoxes.size());
  EXPECT_EQ(kUnsupportedModeText, p.os.messageBoxes[0].text);
  EXPECT_EQ(kZeroTip, p.Tip());

  p.os.readFails = false;
  p.Tick();
  EXPECT_EQ(p.ModeTip(), p.Tip()) << "the first good read names the mode in force";
  EXPECT_EQ(0, p.os.quitMessages);
  p.Choose("mPopExit");
  EXPECT_EQ(win::kNimDelete, p.os.trayCalls.back().message);
  EXPECT_EQ(1, p.os.quitMessages);
}

// The same session with exactly one read failing, for every read it makes: start-up
// scan, start-up tooltip, ticks, a change's request, its read-back, a refused change.
TEST(ModeReadFaults, ASingleFailedReadAnywhereNeverNamesAWrongModeAndHealsAtTheNextRead) {
  const auto session = [](Program& p) {
    p.os.testCodes[{1280, 768, 60}] = win::kDispChangeBadMode;
    p.Start();
    p.Tick();
    p.Choose("mnu800_60");
    p.os.SetMode(1280, 1024, 60);  // another program
    p.Tick();
    p.os.testCodes[{1280, 1024, 85}] = win::kDispChangeRestart;
    p.Choose("mnu128010_85");
  };
  Program healthy;
  session(healthy);
  const size_t readsPerSession = healthy.os.readRecords.size();
  const std::vector<std::string> healthyMenu = testing::VisibleMenu(healthy.Item(kPopupMenuName));
  ASSERT_GE(readsPerSession, 6u) << "start-up, two ticks and two changes all read";

  for (size_t failing = 0; failing < readsPerSession; ++failing) {
    SCOPED_TRACE("read " + std::to_string(failing) + " fails");
    Program p;
    size_t reads = 0;
    p.os.readFailsIf = [&] { return reads++ == failing; };
    std::vector<std::string> wrongTips;
    p.os.trayAnswers = [&](uint32_t message) {
      const std::string tip = TipOf(p.os.trayCalls.back().record);
      if (message != win::kNimDelete && tip != p.ModeTip() && tip != kZeroTip) wrongTips.push_back(tip);
      return true;
    };
    session(p);
    EXPECT_EQ(readsPerSession, reads);
    EXPECT_EQ(std::vector<std::string>{}, wrongTips);
    EXPECT_EQ(healthyMenu, testing::VisibleMenu(p.Item(kPopupMenuName)));
    ASSERT_EQ(1u, p.os.messageBoxes.size()) << "only the refused change speaks";
    EXPECT_EQ(kUnsupportedModeText, p.os.messageBoxes[0].text);
    EXPECT_EQ(0, p.os.quitMessages);
    p.Tick();
    EXPECT_EQ(TipFor(1280, 1024, 60), p.Tip());
  }
}

// ---- the shell refuses or forgets the icon ------------------------------------------------

TEST(TrayFaults, AShellRefusingEverythingIsAskedAgainOncePerTickAndNobodyIsNagged) {
  Program p;
  p.os.trayAnswer = false;
  EXPECT_EQ(kAddThenModify, p.TrayMessagesOf([&] { p.Start(); }));
  ASSERT_TRUE(p.main->Loaded());
  for (int tick = 1; tick <= 10; ++tick) {
    if (tick == 5) p.os.SetMode(1280, 960, 60);
    EXPECT_EQ(kAddThenModify, p.TrayMessagesOf([&] { p.Tick(); })) << "tick " << tick;
    EXPECT_EQ(p.ModeTip(), TipOf(p.os.trayCalls[p.os.trayCalls.size() - 2].record)) << "tick " << tick;
  }
  EXPECT_EQ(kAddThenModify, p.TrayMessagesOf([&] { p.Choose("mnu800_60"); }));
  EXPECT_EQ(TipFor(800, 600, 60), p.Tip());
  EXPECT_EQ(kAddThenModify, p.TrayMessagesOf([&] { p.TaskbarCreated(); }));
  EXPECT_TRUE(p.os.messageBoxes.empty());
  EXPECT_EQ(0, p.os.quitMessages);
  EXPECT_EQ(1u, p.os.Calls("PostMessageA").size()) << "only the one popup's WM_NULL";

  p.os.trayAnswer = true;
  EXPECT_EQ(kAdd, p.TrayMessagesOf([&] { p.Tick(); }));
  EXPECT_EQ(kModify, p.TrayMessagesOf([&] { p.Tick(); }));

  p.os.trayAnswer = false;
  EXPECT_EQ(Messages{win::kNimDelete}, p.TrayMessagesOf([&] { p.Choose("mPopExit"); }));
  EXPECT_EQ(1, p.os.quitMessages) << "a refused delete does not keep the program alive";
}

TEST(TrayFaults, EveryPatternOfRefusalsCostsAtMostTwoRequestsPerTick) {
  const std::vector<std::pair<const char*, std::function<bool(uint32_t)>>> shells = {
      {"refuses adds", [](uint32_t message) { return message != win::kNimAdd; }},
      {"refuses modifies", [](uint32_t message) { return message != win::kNimModify; }},
      {"refuses every other request", [count = 0](uint32_t) mutable { return ++count % 2 == 0; }},
      {"refuses all", [](uint32_t) { return false; }},
  };
  for (const auto& [name, answers] : shells) {
    SCOPED_TRACE(name);
    Program p;
    p.os.trayAnswers = answers;
    p.Start();
    for (int tick = 0; tick < 20; ++tick) {
      const Messages messages = p.TrayMessagesOf([&] { p.Tick(); });
      EXPECT_GE(messages.size(), 1u);
      EXPECT_LE(messages.size(), 2u);
      if (messages.size() == 2) {
        EXPECT_EQ(kAddThenModify, messages);
      }
      EXPECT_EQ(p.ModeTip(), TipOf(p.os.trayCalls.back().record));
    }
    EXPECT_TRUE(p.os.messageBoxes.empty());
  }
}

// A shell with a memory: it holds at most the icons it accepted, refuses a second add of
// one it has, a modify of one it lacks, and everything while it is down.
struct Shell {
  bool up = true;
  int icons = 0;
  std::string tip;
  bool Answer(uint32_t message, const NotifyIconData& record) {
    if (!up) return false;
    switch (message) {
      case win::kNimAdd:
        if (icons > 0) return false;
        icons = 1;
        tip = TipOf(record);
        return true;
      case win::kNimModify:
        if (icons == 0) return false;
        tip = TipOf(record);
        return true;
      case win::kNimDelete:
        if (icons == 0) return false;
        icons = 0;
        return true;
      default:
        return false;
    }
  }
  void Crash() {
    up = false;
    icons = 0;
  }
};

struct ShellFaults : ::testing::Test {
  Program p;
  Shell shell;
  void SetUp() override {
    p.os.trayAnswers = [this](uint32_t message) { return shell.Answer(message, p.os.trayCalls.back().record); };
    p.Start();
    ASSERT_EQ(1, shell.icons);
  }
};

TEST_F(ShellFaults, ExplorerRestartsAndAnnouncesItself) {
  shell.Crash();
  EXPECT_EQ(kModify, p.TrayMessagesOf([&] { p.Tick(); })) << "the first sign of the loss";
  EXPECT_EQ(kAddThenModify, p.TrayMessagesOf([&] { p.Tick(); }));
  p.os.SetMode(800, 600, 60);
  EXPECT_EQ(kAddThenModify, p.TrayMessagesOf([&] { p.Tick(); }));
  shell.up = true;
  EXPECT_EQ(kAdd, p.TrayMessagesOf([&] { p.TaskbarCreated(); }));
  EXPECT_EQ(1, shell.icons);
  EXPECT_EQ(TipFor(800, 600, 60), shell.tip) << "the icon comes back with the mode in force";
  EXPECT_EQ(kModify, p.TrayMessagesOf([&] { p.Tick(); }));
  EXPECT_EQ(1, shell.icons);
}

TEST_F(ShellFaults, ExplorerComesBackSilentlyAndAnnouncesItselfLate) {
  shell.Crash();
  p.Tick();
  p.Tick();
  shell.up = true;
  p.os.SetMode(1280, 1024, 60);
  EXPECT_EQ(kAdd, p.TrayMessagesOf([&] { p.Tick(); })) << "the tick finds the shell back";
  EXPECT_EQ(TipFor(1280, 1024, 60), shell.tip);
  EXPECT_EQ(kAddThenModify, p.TrayMessagesOf([&] { p.TaskbarCreated(); }));
  EXPECT_EQ(1, shell.icons) << "the late announcement adds no second icon";
  EXPECT_EQ(kModify, p.TrayMessagesOf([&] { p.Tick(); }));
}

TEST_F(ShellFaults, TheIconIsTakenAwayWhileTheShellStaysUp) {
  shell.icons = 0;  // another program deleted it
  p.os.SetMode(640, 480, 60);
  EXPECT_EQ(kModify, p.TrayMessagesOf([&] { p.Tick(); }));
  EXPECT_EQ(kAdd, p.TrayMessagesOf([&] { p.Tick(); }));
  EXPECT_EQ(1, shell.icons);
  EXPECT_EQ(TipFor(640, 480, 60), shell.tip);
}

// ---- launchers ---------------------------------------------------------------------------

TEST(LauncherFaults, EveryShellExecuteErrorCodeIsToldOnceAndEverySuccessIsSilent) {
  Program p;
  p.Start();
  p.Choose("mnuPopAbout");
  ASSERT_NE(nullptr, p.About());
  const struct {
    const char* name;
    std::function<void()> click;
    const char* failureText;
  } links[] = {
      {"tray home page", [&] { p.Choose("mnuWeb"); }, kBrowserFailedText},
      {"About donation", [&] { p.ClickAbout(Label2); }, kBrowserFailedText},
      {"About feedback mail", [&] { p.ClickAbout(Label3); }, kMailFailedText},
      {"About home page", [&] { p.ClickAbout(Label4); }, kBrowserFailedText},
  };
  const intptr_t successes[] = {33, 34, 42, 0x7FFF, INTPTR_MAX};
  for (const auto& link : links) {
    for (intptr_t code = 0; code <= 33 + 4; ++code) {
      const intptr_t result = code <= 32 ? code : successes[code - 33];
      SCOPED_TRACE(std::string(link.name) + " answered " + std::to_string(result));
      p.os.shellExecuteResult = result;
      const size_t boxes = p.os.messageBoxes.size(), launches = p.os.shellExecutes.size();
      link.click();
      EXPECT_EQ(launches + 1, p.os.shellExecutes.size()) << "asked once, never again";
      if (result > 32) {
        EXPECT_EQ(boxes, p.os.messageBoxes.size());
        continue;
      }
      ASSERT_EQ(boxes + 1, p.os.messageBoxes.size());
      EXPECT_EQ(link.failureText, p.os.messageBoxes.back().text);
      EXPECT_EQ(Application::kTitle, p.os.messageBoxes.back().caption);
      EXPECT_EQ(win::kMbIconStop, p.os.messageBoxes.back().style);
    }
  }
  EXPECT_EQ(2u, p.app.Forms().size()) << "the About window stays open";
  EXPECT_EQ(0, p.os.quitMessages);
}

// ---- ticks and clicks while a window or a message box is open --------------------------

TEST(BusyFaults, ATickDuringTheProblemBoxRewritesTheTipAndTheCommandEndsOnTheModeInForce) {
  Program p;
  p.Start();
  p.Choose("mnu800_60");
  ASSERT_EQ(TipFor(800, 600, 60), p.Tip());

  const struct {
    const char* name;
    std::function<void()> arrange;
    const char* item;
    ModeTriple changedMeanwhile;
  } cases[] = {
      {"refused", [&] { p.os.testCodes[{1280, 1024, 85}] = win::kDispChangeRestart; }, "mnu128010_85",
       {1280, 960, 60}},
      {"failed apply", [&] { p.os.applyCode = win::kDispChangeFailed; }, "mnu640_60", {1024, 768, 60}},
      {"failed apply that switched anyway", [&] { p.os.applyCode = win::kDispChangeFailed; }, "mnu1600_60",
       {1600, 1200, 60}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange();
    std::vector<std::string> tipsInBox;
    p.os.whileMessageBoxOpen = [&] {
      p.os.SetMode(c.changedMeanwhile.width, c.changedMeanwhile.height, c.changedMeanwhile.frequency);
      tipsInBox.push_back("");
      const Messages messages = p.TrayMessagesOf([&] { p.Tick(); });
      EXPECT_EQ(kModify, messages);
      tipsInBox.back() = p.Tip();
    };
    const size_t boxes = p.os.messageBoxes.size();
    p.Choose(c.item);
    ASSERT_EQ(boxes + 1, p.os.messageBoxes.size());
    EXPECT_EQ(kModeProblemTitle, p.os.messageBoxes.back().caption);
    const std::string inForce = TipFor(c.changedMeanwhile.width, c.changedMeanwhile.height,
                                       c.changedMeanwhile.frequency);
    EXPECT_EQ(std::vector<std::string>{inForce}, tipsInBox) << "the tick inside the box";
    EXPECT_EQ(inForce, p.Tip()) << "after the box";
    EXPECT_EQ(win::kNimModify, p.os.trayCalls.back().message);
    p.os.applyCode = win::kDispChangeSuccessful;
  }
}

TEST(BusyFaults, MenuChoicesWhileAboutIsOpenLeaveItOpenAndItsCommandsAlone) {
  Program p;
  p.Start();
  p.Choose("mnuPopAbout");
  ASSERT_NE(nullptr, p.About());
  WindowHandle about = p.About()->hWnd();

  p.Choose("mnu12809_60");
  EXPECT_EQ(TipFor(1280, 960, 60), p.Tip());
  p.Choose("mnuPopAbout");
  p.Choose("mnuWeb");
  p.os.testCodes[{640, 480, 85}] = win::kDispChangeBadMode;
  p.Choose("mnu640_85");
  EXPECT_EQ(1u, p.os.messageBoxes.size());
  EXPECT_EQ(TipFor(1280, 960, 60), p.Tip());
  ASSERT_EQ(2u, p.app.Forms().size()) << "one About window, the same one";
  EXPECT_EQ(about, p.About()->hWnd());
  EXPECT_TRUE(p.os.Window(about).visible);
  EXPECT_EQ(1u, p.os.shellExecutes.size());

  // The tray menu's command ids mean nothing to the About window.
  const size_t changes = p.os.changeCalls.size(), launches = p.os.shellExecutes.size();
  for (const char* name : {"mPopExit", "mnuPopAbout", "mnuWeb", "mnuDispProps", "mnu800_60"}) {
    p.os.Send(about, win::kWmCommand, p.Item(name).id, 0);
  }
  EXPECT_EQ(changes, p.os.changeCalls.size());
  EXPECT_EQ(launches, p.os.shellExecutes.size());
  EXPECT_TRUE(p.os.processes.empty());
  EXPECT_EQ(2u, p.app.Forms().size());
  EXPECT_EQ(0, p.os.quitMessages);

  p.Choose("mPopExit");
  EXPECT_TRUE(p.app.Forms().empty());
  EXPECT_TRUE(p.os.Window(about).destroyed);
  EXPECT_EQ(win::kNimDelete, p.os.trayCalls.back().message);
  EXPECT_EQ(1, p.os.quitMessages);
}

// The failure box of an About link is modal to nothing: the user can close that About
// window and open a new one from the tray before the box returns into the old one's
// click handler. Run under AddressSanitizer, this catches the handler touching its
// window after that.
TEST(BusyFaults, AboutIsClosedAndOpenedAfreshWhileItsOwnLinkReportsAFailure) {
  Program p;
  p.Start();
  p.Choose("mnuPopAbout");
  WindowHandle first = p.About()->hWnd();
  p.os.shellExecuteResult = 0;
  p.os.whileMessageBoxOpen = [&] {
    p.ClickAbout(cmdOK);
    p.Choose("mnuPopAbout");
  };
  p.os.Send(first, win::kWmCommand, Label4, 0);
  ASSERT_EQ(1u, p.os.messageBoxes.size());
  ASSERT_NE(nullptr, p.About());
  EXPECT_NE(first, p.About()->hWnd());
  EXPECT_TRUE(p.os.Window(p.About()->hWnd()).visible);
  EXPECT_EQ(0, p.os.quitMessages);
}

// Message boxes are modal to nothing, so the tray icon keeps answering while one is
// open; choosing Exit there must end the program for good once the box returns.
TEST(BusyFaults, ExitWhileAMessageBoxIsOpenEndsEverythingAndTheIconStaysGone) {
  const struct {
    const char* name;
    std::function<void(Program&)> raiseBox;
  } boxes[] = {
      {"refused mode", [](Program& p) {
         p.os.testCodes[{1280, 1024, 85}] = win::kDispChangeRestart;
         p.Choose("mnu128010_85");
       }},
      {"failed apply", [](Program& p) {
         p.os.applyCode = win::kDispChangeFailed;
         p.Choose("mnu800_60");
       }},
      {"browser", [](Program& p) {
         p.os.shellExecuteResult = 2;
         p.Choose("mnuWeb");
       }},
      {"control panel", [](Program& p) {
         p.os.startProcessResult = false;
         p.Choose("mnuDispProps");
       }},
      {"feedback mail from About", [](Program& p) {
         p.Choose("mnuPopAbout");
         p.os.shellExecuteResult = 31;
         p.ClickAbout(Label3);
       }},
  };
  for (const auto& box : boxes) {
    SCOPED_TRACE(box.name);
    Program p;
    p.Start();
    std::vector<std::string> requestsForDeadWindows;
    p.os.trayAnswers = [&](uint32_t message) {
      const NotifyIconData& record = p.os.trayCalls.back().record;
      if (message != win::kNimDelete && p.os.Window(record.hWnd).destroyed) {
        requestsForDeadWindows.push_back(std::to_string(message) + " " + TipOf(record));
      }
      return true;
    };
    p.os.whileMessageBoxOpen = [&] { p.Choose("mPopExit"); };
    box.raiseBox(p);
    EXPECT_EQ(1u, p.os.messageBoxes.size());
    EXPECT_TRUE(p.app.Forms().empty());
    EXPECT_EQ(1, p.os.quitMessages);
    for (const auto& [handle, window] : p.os.windows) EXPECT_TRUE(window.destroyed);
    EXPECT_EQ(win::kNimDelete, p.os.trayCalls.back().message) << "the last word to the shell";
    EXPECT_EQ(std::vector<std::string>{}, requestsForDeadWindows) << "the icon is offered again after Exit";
  }
}

}  // namespace
}  // namespace vantrel
