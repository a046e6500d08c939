"""Renders the vantrel main window in each of its states to PNG files (a developer tool, run by
tools/render-windows.sh inside run.sh's session). Usage: render_windows.py OUT_DIR [WIDTHxHEIGHT]"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vantrel_driver as ui  # noqa: E402
from vantrel_driver import Atspi  # noqa: E402


def shoot(windows, path):
    """Saves the part of the screen covered by these accessibles (windows) as a PNG."""
    time.sleep(0.5)  # the state is reached; let the window paint it
    boxes = [Atspi.Component.get_extents(w, Atspi.CoordType.SCREEN) for w in windows]
    left, top = min(b.x for b in boxes), min(b.y for b in boxes)
    right, bottom = max(b.x + b.width for b in boxes), max(b.y + b.height for b in boxes)
    screen = subprocess.run(['xwd', '-root', '-silent'], check=True, capture_output=True).stdout
    subprocess.run(['convert', 'xwd:-', '-crop', f'{right - left}x{bottom - top}+{left}+{top}', '+repage', path],
                   input=screen, check=True)
    print(path)


def main(out, geometry):
    os.makedirs(out, exist_ok=True)
    box = ui.Sandbox()
    try:
        link = box.serve_design()
        screenshot = box.write('screenshot.png', ui.SCREENSHOT)
        root = box.launch(['-geometry', geometry] if geometry else [])
        frame = ui.control(root, 'frame', 'Vantrel')
        prefix = os.path.join(out, f'{geometry}-' if geometry else '')
        alert = ui.control(root, 'alert', '提示')
        ui.wait_until(lambda: ui.find(alert, 'push button', '知道了'), 'the alert button')
        shoot([frame, alert], prefix + 'alert.png')
        ui.dismiss_alert(root, '未发现已信任的 iPhone')
        shoot([frame], prefix + 'capture-empty.png')
        ui.import_design_link(root, link)
        ui.load_screenshot(root, screenshot)
        shoot([frame], prefix + 'capture-loaded.png')
        ui.compare(root)
        for mode, name in (('并排', 'side-by-side'), ('叠加', 'overlay'), ('热力图', 'heatmap')):
            ui.press(ui.control(root, 'toggle button', mode))
            ui.wait_until(lambda: ui.has_state(ui.find(root, 'toggle button', mode), Atspi.StateType.CHECKED),
                          f'the {name} mode')
            shoot([frame], prefix + f'result-{name}.png')
    finally:
        box.close()


if __name__ == '__main__':
    main(sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else None)
