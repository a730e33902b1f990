#include "framework/form.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fakes/fake_os.h"
#include "framework/twips.h"

namespace vantrel {
namespace {

using testing::FakeOs;

// 192 dpi gives 7.5 twips per pixel, where rounding shows. Values worked out by hand.
TEST(Twips, ConvertAtAFractionalNumberOfTwipsPerPixel) {
  EXPECT_EQ(412, TwipsToPixels(3086.25, 7.5));  // 411.5, rounded away from zero
  EXPECT_EQ(-2, TwipsToPixels(-11.25, 7.5));    // -1.5
  EXPECT_EQ(922.5, PixelsToTwips(123, 7.5));
  EXPECT_EQ(-52.5, PixelsToTwips(-7, 7.5));
}

// Records the order of its events and lets a test decide what Load does.
class RecordingForm : public Form {
 public:
  explicit RecordingForm(Application& app)
      : Form(app, {.className = "test", .caption = "Test", .timers = {{7, 250}}}) {
    MenuItem popup{.name = "top", .visible = false};
    popup.children.push_back({.name = "shown", .caption = "Shown", .click = [this] { events += "click:shown "; }});
    popup.children.push_back({.name = "hidden", .caption = "Hidden", .visible = false,
                              .click = [this] { events += "click:hidden "; }});
    MenuItem bar;
    bar.children.push_back(popup);
    SetMenu(bar);
  }
  std::string events;
  std::function<void()> onLoad;
  double lastX = 0;

  void Load() override {
    events += "load ";
    if (onLoad) onLoad();
  }
  void Resize() override { events += "resize "; }
  void Unload() override { events += "unload "; }
  void Timer(uint32_t id) override { events += "timer" + std::to_string(id) + " "; }
  void MouseMove(int32_t, int32_t, double x, double) override { lastX = x; }
  void ControlClick(uint32_t id) override { events += "control" + std::to_string(id) + " "; }
};

struct FormTest : ::testing::Test {
  FakeOs os;
  Application app{os};
  RecordingForm form{app};
};

TEST_F(FormTest, TheFirstShowLoadsAndResizesBeforeTheScreenAndTheLastCloseEndsTheProcess) {
  form.onLoad = [&] { form.Show(); };  // a Show inside Load displays once
  form.Show();
  form.Show();
  EXPECT_EQ("load resize ", form.events);
  EXPECT_TRUE(os.Window(form.hWnd()).visible);
  EXPECT_EQ(250u, os.Window(form.hWnd()).timers.at(7));

  RecordingForm closing(app);
  closing.onLoad = [&] { closing.Close(); };
  closing.Show();
  EXPECT_EQ("load unload ", closing.events);
  EXPECT_TRUE(std::ranges::none_of(os.windows, [&](const auto& w) { return w.second.form == &closing && w.second.seenOnScreen; }))
      << "a window closed in Load is never shown";
  EXPECT_EQ(0, os.quitMessages) << "another window is still open";
  os.Send(form.hWnd(), win::kWmClose, 0, 0);
  EXPECT_EQ("load resize unload ", form.events);
  EXPECT_EQ(1, os.quitMessages);
}

TEST_F(FormTest, MessagesBecomeEvents) {
  os.dpi = 144;
  form.Show();
  form.events.clear();
  os.Send(form.hWnd(), win::kWmTimer, 7, 0);
  os.Send(form.hWnd(), win::kWmCommand, 12, 0);
  // A menu item's id arrives as the popup's result only; posted by another program, it does nothing.
  os.Send(form.hWnd(), win::kWmCommand, FindMenuItem(form.Menu(), "shown")->id, 0);
  os.Send(form.hWnd(), win::kWmCommand, 4242, 0);  // belongs to nothing
  EXPECT_EQ("timer7 control12 ", form.events);
  os.Send(form.hWnd(), win::kWmMouseMove, 1, 0x00010000 | 517);
  EXPECT_EQ(517 * 10.0, form.lastX);
  os.Send(form.hWnd(), win::kWmMouseMove, 0, 0xFFFF);
  EXPECT_EQ(-10.0, form.lastX) << "the low word is a signed coordinate";
  // The window procedure hands the system every message Handles disowns, unseen.
  for (uint32_t message = 0; message <= 0xFFFF; ++message) {
    if (!Form::Handles(message)) {
      ASSERT_FALSE(form.OnMessage(message, 0, 0)) << message;
    }
  }
}

TEST_F(FormTest, PopupRunsTheChoiceAfterTheMenuClosedAndKeepsItsMenuInStepWithTheTree) {
  form.Show();
  MenuItem& top = *FindMenuItem(form.Menu(), "top");
  os.choosePopupItem = [](const MenuItem& menu) { return menu.children[0].id; };
  EXPECT_TRUE(form.PopupMenu(top, 0, {5, 6}));
  EXPECT_EQ((std::vector<std::string>{"Shown"}), os.popups.at(0));
  EXPECT_EQ((std::vector<std::string>{"TrackPopupMenu 0", "PostMessageA 0"}),
            std::vector<std::string>(os.log.end() - 2, os.log.end()));
  EXPECT_NE(std::string::npos, form.events.find("click:shown"));
  os.choosePopupItem = [](const MenuItem& menu) { return menu.children[1].id; };  // hidden: never a choice
  EXPECT_FALSE(form.PopupMenu(top, 0, {5, 6}));
  EXPECT_EQ(std::string::npos, form.events.find("click:hidden"));
  EXPECT_EQ(1u, os.Calls("CreatePopupMenu").size()) << "one menu, built once, serves every popup";
  FindMenuItem(form.Menu(), "hidden")->visible = true;
  FindMenuItem(form.Menu(), "shown")->enabled = false;
  form.PopupMenu(top, 0, {5, 6});
  EXPECT_EQ((std::vector<std::string>{"Shown (grayed)", "Hidden"}), os.popups.back());
  EXPECT_EQ(1u, os.menus.size()) << "the stale menu is destroyed";
}

}  // namespace
}  // namespace vantrel
