"""The settings program on a real X server (Xvfb), started as an administrator starts it: its
main window appears with its caption and client size, a click on the "About" tab shows the
About page, a screenshot of the screen is saved under the build's screenshots folder, and Esc
(Cancel) ends the program.
Also popagent started by hand: its start form shows its whole text."""

import os
import pathlib
import subprocess
import unittest

from machine import BIN, MachineCase, wait_until

SCREENSHOTS = BIN.parent / "screenshots"
CAPTION = "Vrel POP3 Server Properties"
LOGO_BLUE = (0, 70, 160)
# Where the About tab and the About page's logo lie in the window's client area.
ABOUT_TAB = (340, 17)
ABOUT_LOGO = (50, 130)


class XServerCase(MachineCase):
    def setUp(self):
        super().setUp()
        # Xvfb picks a free display itself and writes its number into the pipe.
        reader, writer = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(writer), "-screen", "0",
                                      "1024x768x24", "-nolisten", "tcp"], pass_fds=(writer,),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(self.stop, self.xvfb)
        os.close(writer)
        with os.fdopen(reader) as pipe:
            number = pipe.readline().strip()
        self.assertTrue(number, "Xvfb did not start")
        self.display = f":{number}"
        self.env = dict(self.machine.env, DISPLAY=self.display)
        suppressions = pathlib.Path(__file__).with_name("x11_lsan.supp")
        self.env["LSAN_OPTIONS"] = ":".join(filter(None, [
            os.environ.get("LSAN_OPTIONS"), f"suppressions={suppressions}"]))
        self.env.pop("QT_QPA_PLATFORM", None)

    @staticmethod
    def stop(process):
        process.terminate()
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()

    def start(self, program):
        process = subprocess.Popen([str(BIN / program)], env=self.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(self.stop, process)
        return process

    def tool(self, *args):
        return subprocess.run(list(args), env=self.env, capture_output=True, text=True,
                              timeout=30, check=True).stdout

    def find_window(self, caption, process):
        """The id of the process's visible window with the caption, once it has appeared."""
        found = wait_until(lambda: subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--name", f"^{caption}$"], env=self.env,
            capture_output=True, text=True).stdout.split())
        state = "runs" if process.poll() is None else f"ended with {process.returncode}"
        self.assertTrue(found, f'no window "{caption}" appeared; the program {state}')
        return found[0]

    def geometry(self, window):
        """(x, y, width, height) of the window on the screen."""
        fields = dict(line.split("=") for line in
                      self.tool("xdotool", "getwindowgeometry", "--shell", window).split())
        return tuple(int(fields[name]) for name in ("X", "Y", "WIDTH", "HEIGHT"))

    def screenshot(self, name):
        SCREENSHOTS.mkdir(parents=True, exist_ok=True)
        path = SCREENSHOTS / f"{name}.png"
        self.tool("import", "-window", "root", str(path))
        return path

    def pixel(self, path, x, y):
        text = self.tool("convert", str(path), "-crop", f"1x1+{x}+{y}", "-depth", "8", "txt:-")
        colour = text.splitlines()[1].split("(")[1].split(")")[0]
        return tuple(round(float(part)) for part in colour.split(",")[:3])


class SettingsWindowTest(XServerCase):
    def test_window_opens_and_the_about_tab_shows_the_about_page(self):
        popsetup = self.start("popsetup")
        window = self.find_window(CAPTION, popsetup)
        x, y, width, height = self.geometry(window)
        self.assertEqual((width, height), (667, 396))

        before = self.screenshot("popsetup_xvfb-GeneralTab")
        self.assertNotEqual(self.pixel(before, x + ABOUT_LOGO[0], y + ABOUT_LOGO[1]), LOGO_BLUE)

        self.tool("xdotool", "mousemove", "--window", window, *map(str, ABOUT_TAB),
                  "click", "1")
        shot = self.screenshot("popsetup_xvfb-AboutTab")
        self.assertTrue(wait_until(lambda: self.pixel(
            self.screenshot("popsetup_xvfb-AboutTab"), x + ABOUT_LOGO[0],
            y + ABOUT_LOGO[1]) == LOGO_BLUE), f"no About page in {shot}")
        self.assertIsNone(popsetup.poll(), "the program is still running")

        self.tool("xdotool", "windowfocus", window, "key", "Escape")  # clicks Cancel
        self.assertEqual(popsetup.wait(timeout=30), 0)

    def test_without_a_display_the_program_says_so_and_ends(self):
        env = {k: v for k, v in self.machine.env.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        result = subprocess.run([str(BIN / "popsetup")], env=env, capture_output=True,
                                text=True, timeout=30)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("no display", result.stderr)


class AgentStartFormTest(XServerCase):
    def test_start_form_shows_its_whole_text(self):
        popagent = self.start("popagent")
        window = self.find_window("Initialize Message Agent", popagent)
        x, y, width, height = self.geometry(window)
        shot = self.screenshot("popagent_xvfb-StartForm")
        # The text's last character lies inside the form, with background right of it.
        right_margin = [self.pixel(shot, x + width - 1 - dx, y + 30) for dx in range(4)]
        self.assertTrue(all(min(colour) > 200 for colour in right_margin), right_margin)


if __name__ == "__main__":
    unittest.main()
