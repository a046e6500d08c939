"""Renders the vantrel main window in each of its states to PNG files (a developer tool, run by
tools/render-windows.sh inside tests/e2e/run.sh's session). Usage: render_windows.py OUT_DIR [WIDTHxHEIGHT]"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
import vantrel_driver as ui  # noqa: E402
from vantrel_driver import Atspi  # noqa: E402


def xwd(*target):
    return subprocess.run(['xwd', '-silent', *target], check=True, capture_output=True).stdout


def x_window(title_start):
    """The X id of the top-level window whose title starts with title_start."""
    tree = subprocess.run(['xwininfo', '-root', '-children'], check=True, capture_output=True, text=True).stdout
    return next(line.split()[0] for line in tree.splitlines() if f' "{title_start}' in line)


def shoot(frame, path, dialog=None):
    """Saves the main window as a PNG, with a dialog (accessible, X window title) drawn over it.
    Xvfb's root image leaves such a dialog black, so the dialog comes from its own window."""
    time.sleep(1.0)  # the state is reached; let the window paint it
    box = Atspi.Component.get_extents(frame, Atspi.CoordType.SCREEN)
    subprocess.run(['convert', 'xwd:-', '-crop', f'{box.width}x{box.height}+{box.x}+{box.y}', '+repage', path],
                   input=xwd('-root'), check=True)
    if dialog:
        over = Atspi.Component.get_extents(dialog[0], Atspi.CoordType.SCREEN)
        subprocess.run(['convert', path, 'xwd:-', '-geometry', f'+{over.x - box.x}+{over.y - box.y}', '-composite', path],
                       input=xwd('-id', x_window(dialog[1])), check=True)
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
        shoot(frame, prefix + 'alert.png', (alert, '提示'))
        ui.dismiss_alert(root, '未发现已信任的 iPhone')
        shoot(frame, prefix + 'capture-empty.png')
        ui.import_design_link(root, link)
        ui.load_screenshot(root, screenshot)
        shoot(frame, prefix + 'capture-loaded.png')
        ui.compare(root)
        for mode, name in (('并排', 'side-by-side'), ('叠加', 'overlay'), ('热力图', 'heatmap')):
            ui.press(ui.control(root, 'check box', mode))
            ui.wait_until(lambda: ui.has_state(ui.find(root, 'check box', mode), Atspi.StateType.CHECKED),
                          f'the {name} mode')
            shoot(frame, prefix + f'result-{name}.png')
    finally:
        box.close()


if __name__ == '__main__':
    main(sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else None)
