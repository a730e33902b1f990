"""Shows Vantrel doing its job on a private X server: opens the tray menu with a real
right click, switches to 800x600 at 60 Hz, and saves screenshots of the tooltip before,
the menu, and the desktop after under build/run/."""
import subprocess
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))

from rig import settle, wait_until  # noqa: E402
from vantrel_app import MENU_CLASS, TrayApp, new_rig, open_menus  # noqa: E402

OUT = REPO / "build" / "run"


def crop(source: Path, target: Path, box: tuple[int, int, int, int]) -> None:
    x, y, w, h = box
    subprocess.run(["convert", str(source), "-crop", f"{w}x{h}+{x}+{y}", "+repage", str(target)], check=True)


def main() -> int:
    OUT.mkdir(parents=True, exist_ok=True)
    with new_rig() as rig:
        print(f"Started Xvfb {rig.display} with a 1024x768 Wine desktop; starting vantrel.exe")
        app = TrayApp(rig)
        x, y = rig.tray_icon_point()
        print("Tooltip before:", app.hover_tip())
        rig.xdotool("mousemove", x, y)
        rig.wait_window("tooltips_class32")
        crop(rig.screenshot(), OUT / "tooltip-before.png", (x - 260, y - 40, 280, 60))

        menu = app.open_popup()
        rig.probe_ok("menu-keys", menu, "DOWN", "DOWN", "RIGHT")  # "&800x600" and its submenu
        wait_until(lambda: open_menus(rig) >= 2, 10, message="the submenu")
        crop(rig.screenshot(), OUT / "menu.png", (x - 330, y - 230, 340, 240))
        rig.probe_ok("menu-keys", rig.probe_ok("find", MENU_CLASS, "-"), "RETURN")  # "60 Hz"
        wait_until(lambda: rig.desktop_geometry().size == (800, 600), 10, message="an 800x600 desktop")
        print("Desktop now:", "x".join(map(str, rig.desktop_geometry().size)))
        print("Tooltip after:", settle(app.tray_tips, ["Current Resolution: 800x600 60Hz"])[0])
        rig.screenshot(OUT / "desktop-after.png")
        app.choose("x")
        app.launch.wait_exit()
    print(f"Screenshots: {OUT}/tooltip-before.png, menu.png, desktop-after.png")
    return 0


if __name__ == "__main__":
    sys.exit(main())
