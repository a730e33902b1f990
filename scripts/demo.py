"""Shows Vantrel doing its job on a private X server: opens the tray menu with a
real right click, switches to 800x600 at 60 Hz and saves screenshots of the menu
and the tooltip under build/run/."""
import shutil
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))

from vantrel_app import TrayApp, new_rig  # noqa: E402

OUT = REPO / "build" / "run"


def crop(source: Path, target: Path, box: tuple[int, int, int, int]) -> Path:
    x, y, w, h = box
    subprocess.run(["convert", str(source), "-crop", f"{w}x{h}+{x}+{y}", "+repage", str(target)], check=True)
    return target


def main() -> int:
    OUT.mkdir(parents=True, exist_ok=True)
    with new_rig() as rig:
        print(f"Started Xvfb {rig.display} with a 1024x768 Wine desktop; starting vantrel.exe")
        app = TrayApp(rig)
        print("Tooltip before:", app.hover_tip())
        x, y = rig.tray_icon_point()
        rig.xdotool("mousemove", x, y)
        rig.wait_until(lambda: app.hover_tip() is not None, timeout=10)
        rig.xdotool("mousemove", x, y)
        rig.wait_until(lambda: len(app.tooltips_shown()) > 0, timeout=5)
        time.sleep(1.0)
        crop(rig.screenshot(), OUT / "tooltip-before.png", (x - 260, y - 40, 280, 60))

        menu = app.open_popup()
        rig.probe_ok("menu-keys", menu, "DOWN", "DOWN", "RIGHT")  # "&800x600" and its submenu
        time.sleep(0.5)
        crop(rig.screenshot(), OUT / "menu.png", (x - 330, y - 230, 340, 240))
        rig.probe_ok("menu-keys", rig.probe_ok("find", "#32768", "-"), "RETURN")  # "60 Hz"
        rig.wait_until(lambda: rig.desktop_geometry().size == (800, 600), timeout=10,
                       message="the desktop to become 800x600")
        print("Desktop now:", "x".join(map(str, rig.desktop_geometry().size)))
        print("Tooltip after:", app.wait_tray_tips(["Current Resolution: 800x600 60Hz"])[0])
        # Wine's shell keeps the icon's hover area where it was before the resize. Taking
        # the icon away and re-announcing the taskbar, as a restarted shell would, makes
        # Vantrel add it again at its new place.
        rig.probe_ok("tray-delete", app.hwnd, "1")
        rig.probe_ok("broadcast-registered", "TaskbarCreated")
        time.sleep(1.0)
        x, y = rig.tray_icon_point()
        if app.hover_tip() is not None:
            rig.xdotool("mousemove", x, y)
            time.sleep(1.2)
            crop(rig.screenshot(), OUT / "tooltip-after.png", (x - 260, y - 40, 280, 60))
        shutil.copy(rig.screenshot(), OUT / "desktop-after.png")
        app.choose("x")
        rig.wait_until(lambda: not app.processes(), timeout=15, message="Vantrel to exit")
    print(f"Screenshots: {OUT}/menu.png, tooltip-before.png, tooltip-after.png, desktop-after.png")
    return 0


if __name__ == "__main__":
    sys.exit(main())
