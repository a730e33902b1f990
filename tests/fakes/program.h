#pragma once
// One run of the whole program on its own fake system, with the user's gestures.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/frm_main.h"
#include "app/module1.h"
#include "fakes/fake_os.h"
#include "res/frm_main_layout.h"

namespace vantrel::testing {

inline std::string TipOf(const NotifyIconData& record) { return std::string(record.szTip); }

inline std::string TipFor(int32_t width, int32_t height, int32_t frequency) {
  return "Current Resolution: " + std::to_string(width) + "x" + std::to_string(height) + " " +
         std::to_string(frequency) + "Hz";
}

struct Program {
  FakeOs os;
  Application app{os};
  std::unique_ptr<frmMain> main;

  void Start() { main = Main(app); }
  MenuItem& Item(const std::string& name) { return *FindMenuItem(main->Menu(), name); }
  // A right click on the tray icon that picks the named item from the popup; an empty
  // name dismisses the popup (Esc).
  void Choose(const std::string& name) {
    const uint32_t id = name.empty() ? 0 : Item(name).id;
    os.choosePopupItem = [id](const MenuItem&) { return id; };
    os.SendTrayMouse(main->hWnd(), win::kWmRButtonUp);
  }
  void Tick() { os.Send(main->hWnd(), win::kWmTimer, kTimer1, 0); }
  void TaskbarCreated() { os.Send(main->hWnd(), os.RegisterWindowMessageA("TaskbarCreated"), 0, 0); }
  Form* About() const { return app.Forms().size() > 1 ? app.Forms()[1] : nullptr; }
  void ClickAbout(uint32_t control) { os.Send(About()->hWnd(), win::kWmCommand, control, 0); }
  const NotifyIconData& LastTray() const { return os.trayCalls.back().record; }
  std::string Tip() const { return TipOf(LastTray()); }
  // The tray requests that one gesture made, in order.
  std::vector<uint32_t> TrayMessagesOf(const std::function<void()>& gesture) {
    const size_t before = os.trayCalls.size();
    gesture();
    std::vector<uint32_t> messages;
    for (size_t i = before; i < os.trayCalls.size(); ++i) messages.push_back(os.trayCalls[i].message);
    return messages;
  }
};

}  // namespace vantrel::testing
