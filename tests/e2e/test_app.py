"""End-to-end run of the vantrel desktop application, driven through its accessibility tree the way
a person uses it: start, dismiss the alert, import a design from a link, load a screenshot through
the file dialog, compare, read the result and quit. The steps share one running application and
run in the order of their names."""
import glob
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vantrel_driver as ui  # noqa: E402
from vantrel_driver import Atspi, has_state, wait_until  # noqa: E402


class VantrelApp(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.box = ui.Sandbox()
        cls.link = cls.box.serve_design()
        cls.screenshot = cls.box.write('screenshot.png', ui.SCREENSHOT)
        cls.root = cls.box.launch()

    @classmethod
    def tearDownClass(cls):
        cls.box.close()

    def test_1_design_and_screenshot(self):
        self.assertFalse(has_state(ui.control(self.root, 'push button', '开始对比'), Atspi.StateType.ENABLED))
        ui.dismiss_alert(self.root, '未发现已信任的 iPhone')
        ui.import_design_link(self.root, self.link)
        ui.load_screenshot(self.root, self.screenshot)

    def test_2_comparison_result_then_quit(self):
        ui.compare(self.root)
        self.assertGreater(ui.control(self.root, 'list', '差异清单').get_child_count(), 0, 'rows in the issue list')
        ui.press(ui.control(self.root, 'check box', '热力图'))
        ui.control(self.root, 'filler', '差异热力图')  # the picture follows the mode checked from outside
        entries = glob.glob(os.path.join(self.box.env['XDG_DATA_HOME'], 'Vantrel', 'History', '*', 'entry.json'))
        self.assertEqual(len(entries), 1, entries)
        with open(os.path.join(self.box.env['XDG_CONFIG_HOME'], 'halvenro', 'Vantrel.conf')) as conf:
            self.assertIn('devicePlatform', conf.read())
        before = set(self.box.orphans())
        ui.press(ui.control(self.root, 'menu item', '文件'))
        ui.press(ui.control(self.root, 'menu item', '退出'))
        wait_until(lambda: self.box.app.poll() is not None, 'the application to exit', timeout=5)
        self.assertEqual(self.box.app.returncode, 0)
        self.assertEqual(set(self.box.orphans()) - before, set(), 'processes left behind')

if __name__ == '__main__':
    unittest.main(verbosity=2, failfast=True)
