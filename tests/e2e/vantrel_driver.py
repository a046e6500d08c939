"""Starts the vantrel executable in a sandbox and drives it through the accessibility bus.

Expects to run inside a private D-Bus session and an X server (see run.sh). The paths of the
programs come from the environment: VANTREL_APP, FAKE_ADB, FAKE_HTTP_SERVER.
"""
import base64
import ctypes
import json
import os
import pathlib
import subprocess
import time

import gi

gi.require_version('Atspi', '2.0')
from gi.repository import Atspi, Gio, GLib  # noqa: E402

PR_SET_CHILD_SUBREAPER = 36


def wait_until(predicate, what, timeout=10.0, interval=0.05):
    """Polls predicate until it returns something truthy; fails after timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            value = predicate()
        except GLib.Error:
            value = None  # the object went away or the application was busy: ask again
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f'timed out after {timeout:.0f} s waiting for {what}')
        time.sleep(interval)


def descendants(root, depth=40):
    """Every accessible below root, depth first, skipping objects that vanish while walking."""
    stack = [(root, 0)]
    while stack:
        node, level = stack.pop()
        yield node
        if level >= depth:
            continue
        try:
            count = node.get_child_count()
            children = [node.get_child_at_index(i) for i in range(count)]
        except GLib.Error:
            continue
        stack.extend((child, level + 1) for child in reversed(children) if child is not None)


def find(root, role, name):
    """The first showing accessible with this role name ('push button', 'label', ...) and name, or None."""
    for node in descendants(root):
        try:
            if node.get_name() == name and node.get_role_name() == role and has_state(node, Atspi.StateType.SHOWING):
                return node
        except GLib.Error:
            continue
    return None


def has_state(node, state):
    return node.get_state_set().contains(state)


def text_of(node):
    """The text of an editable field, or the description of a label (labels expose no text)."""
    if node.get_role_name() == 'label':
        return node.get_description()
    return Atspi.Text.get_text(node, 0, Atspi.Text.get_character_count(node))


def press(node):
    """Runs the node's first action: press for buttons and menu items, toggle for check boxes."""
    Atspi.Action.do_action(node, 0)


def click(node):
    """A real mouse click in the middle of the node."""
    box = Atspi.Component.get_extents(node, Atspi.CoordType.SCREEN)
    Atspi.generate_mouse_event(box.x + box.width // 2, box.y + box.height // 2, 'b1c')


def type_text(text, enter=False):
    """Types text on the keyboard into whatever has the focus, then Return when asked."""
    Atspi.generate_keyboard_event(0, text, Atspi.KeySynthType.STRING)
    if enter:
        Atspi.generate_keyboard_event(0xff0d, None, Atspi.KeySynthType.SYM)


def control(root, role, name):
    """Waits for the showing accessible with this role and name below root."""
    return wait_until(lambda: find(root, role, name), f'{role} "{name}"')


def wait_status(root, prefix, timeout=20):
    """Waits until the status line starts with prefix; returns its text."""
    status = control(root, 'label', '状态')
    return wait_until(lambda: text_of(status).startswith(prefix) and text_of(status),
                      f'the status "{prefix}…" (last "{text_of(status)}")', timeout)


# The checkout example: a design and a screenshot of the same screen that differ.
EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'examples')
DESIGN = pathlib.Path(EXAMPLES, 'checkout-design.png').read_bytes()
SCREENSHOT = pathlib.Path(EXAMPLES, 'checkout-device.png').read_bytes()


def dismiss_alert(root, message):
    alert = control(root, 'alert', '提示')
    if message not in alert.get_description():
        raise AssertionError(f'alert "{alert.get_description()}" instead of "{message}"')
    press(control(alert, 'push button', '知道了'))
    wait_until(lambda: find(root, 'alert', '提示') is None, 'the alert to close')


def import_design_link(root, link):
    """Types the link into the link field and presses the import button."""
    field = control(root, 'text', '设计稿链接')
    click(field)
    wait_until(lambda: has_state(field, Atspi.StateType.FOCUSED), 'the link field to take the focus')
    type_text(link)
    wait_until(lambda: text_of(field) == link, f'the typed link (now "{text_of(field)}")')
    press(control(root, 'push button', '从链接导入'))
    return wait_status(root, '设计稿已导入（仅视觉对比）')


def load_screenshot(root, path):
    """File → offline screenshot, then types the path into the file dialog. (The menu of the 导入
    button is a popup window, which Qt leaves out of the accessibility tree.)"""
    press(control(root, 'menu item', '文件'))
    # A click, not the accessible action: that call would block until the modal dialog closes.
    click(control(root, 'menu item', '导入真机截图（离线对比）…'))
    dialog = control(root, 'dialog', '选择真机截图')
    name = control(dialog, 'text', 'File name:')
    wait_until(lambda: has_state(name, Atspi.StateType.FOCUSED), 'the file name field to take the focus')
    type_text(path, enter=True)
    return wait_status(root, '已载入真机截图，可离线对比')


def compare(root):
    start = control(root, 'push button', '开始对比')
    wait_until(lambda: has_state(start, Atspi.StateType.ENABLED), '"开始对比" to be enabled')
    press(start)
    return wait_status(root, '对比完成', timeout=30)


class Sandbox:
    """The throw-away HOME of run.sh's session, a fake adb that lists no phone, and the accessibility
    bus. Processes started here are stopped by close()."""

    def __init__(self):
        ctypes.CDLL(None).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)  # orphans of the app come to us
        self.home = os.environ['HOME']
        self.env = dict(os.environ)
        adb_scenario = self.write('adb.json', json.dumps({'log': self.path('adb-calls.jsonl'), 'rules': [
            {'args': ['devices', '-l'], 'responses': [{'stdout': 'List of devices attached\n\n'}]}]}).encode())
        self.env.update(FAKE_ADB_SCENARIO=adb_scenario,
                        VANTREL_ADB=os.environ.get('FAKE_ADB', '/nonexistent/adb'),
                        VANTREL_XCRUN='/nonexistent', VANTREL_SHELL='/bin/false',
                        QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1', QT_ACCESSIBILITY='1', NO_AT_BRIDGE='0',
                        LANG='C.UTF-8')
        self.env.pop('QT_QPA_PLATFORM', None)
        self.helpers = [subprocess.Popen(['/usr/libexec/at-spi-bus-launcher', '--launch-immediately'],
                                         env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)]
        session = Gio.bus_get_sync(Gio.BusType.SESSION)
        wait_until(lambda: session.call_sync('org.a11y.Bus', '/org/a11y/bus', 'org.a11y.Bus', 'GetAddress', None,
                                             GLib.VariantType('(s)'), Gio.DBusCallFlags.NO_AUTO_START, 1000, None),
                   'the accessibility bus')
        Atspi.init()
        # The registry starts on demand; the desktop answers once it runs.
        wait_until(lambda: Atspi.get_desktop(0).get_child_count() is not None, 'the accessibility registry')
        self.app = None

    def path(self, *parts):
        return os.path.join(self.home, *parts)

    def write(self, name, data):
        pathlib.Path(self.path(name)).write_bytes(data)
        return self.path(name)

    def serve_design(self):
        """Serves the design picture from the fake HTTP server; returns its link."""
        scenario = self.write('http.json', json.dumps({'routes': [{'method': 'GET', 'path': '/design.png', 'responses': [{
            'status': 200, 'headers': {'Content-Type': 'image/png'},
            'bodyBase64': base64.b64encode(DESIGN).decode('ascii')}]}]}).encode())
        server = subprocess.Popen([os.environ['FAKE_HTTP_SERVER'], scenario, self.path('http-log.jsonl')],
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.helpers.append(server)
        return f'http://127.0.0.1:{server.stdout.readline().split()[1]}/design.png'

    def launch(self, arguments=()):
        """Starts vantrel and returns its accessible application once its window shows."""
        with open(self.path('app.log'), 'w') as log:
            self.app = subprocess.Popen([os.environ['VANTREL_APP'], *arguments], env=self.env, cwd=self.home,
                                        stdout=subprocess.DEVNULL, stderr=log)

        def application():
            desktop = Atspi.get_desktop(0)
            for i in range(desktop.get_child_count()):
                node = desktop.get_child_at_index(i)
                if node is not None and node.get_process_id() == self.app.pid and node.get_child_count() > 0:
                    node.set_cache_mask(Atspi.Cache.NONE)  # always ask the application itself
                    return node
            return None
        return wait_until(application, 'the vantrel window on the accessibility bus', timeout=20)

    def orphans(self):
        """Processes handed over to us after their parent died (anything the app left running)."""
        mine, known = os.getpid(), {p.pid for p in self.helpers}
        found = []
        for entry in os.listdir('/proc'):
            try:
                with open(f'/proc/{entry}/stat') as stat:
                    fields = stat.read().rsplit(')', 1)[1].split()
            except (OSError, IndexError):
                continue
            if entry.isdigit() and int(fields[1]) == mine and int(entry) not in known and fields[0] != 'Z':
                found.append(int(entry))
        return found

    def close(self):
        for process in ([self.app] if self.app else []) + self.helpers[::-1]:
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
            if process.stdout:
                process.stdout.close()
