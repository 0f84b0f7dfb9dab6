"""The whole program under Wine, on trivandel_standin.exe: Ctrl+C, suspend
and resume, the priority application, and the capture thread's own end.

usage: scenarios_test.py STANDIN_EXE HELPERS_DIR TAPS_DIR WINEPREFIX [unittest args]

Each case runs the program in a fresh folder on a pseudo-terminal, with an
Xvfb display, in a Wine prefix of its own whose wineserver is ended (and
the display stopped) when the case ends, pass or fail."""

import os
import re
import shutil
import sys
import tempfile
import time
import unittest

from wine_session import TIME_RE, ConsoleProgram, Wine, Xvfb, copy_as

STANDIN, HELPERS, TAPS, PREFIX = sys.argv[1:5]
SEND_POWER = os.path.join(HELPERS, "send_power.exe")
PRIORITY_WINDOW = os.path.join(HELPERS, "priority_window.exe")

# What one capture start prints on the stand-in endpoints, up to the start
# of its loop.
CAPTURE_START = [
    ">Get a capture device ----------------",
    '  Device_FriendlyName      = "Speakers (stand-in)"',
    "  EndpointID               = {0.0.0.00000000}.{5ea1d7a0-0001-4000-8000-000000000001}",
    ">Enumerate and decide a output device ----------------",
    "No:0",
    '  Device_FriendlyName      = "Speakers (stand-in)"',
    "  EndpointID               = {0.0.0.00000000}.{5ea1d7a0-0001-4000-8000-000000000001}",
    "  AudioEngine_DeviceFormat = 48.0kHz 32bit Float(32bit) 2ch",
    "No:1",
    '  Device_FriendlyName      = "Multichannel (stand-in)"',
    "  EndpointID               = {0.0.0.00000000}.{5ea1d7a0-0001-4000-8000-000000000006}",
    "  AudioEngine_DeviceFormat = 48.0kHz 24bit PCM(24bit) 6ch",
    ">Create a output device ----------------",
    '  Device_FriendlyName      = "Multichannel (stand-in)"',
    "  EndpointID               = {0.0.0.00000000}.{5ea1d7a0-0001-4000-8000-000000000006}",
    "WAVEFORMATEXTENSIBLE",
    "  nChannels           = 6",
    "  nSamplesPerSec      = 48000",
    "  nAvgBytesPerSec     = 864000",
    "  nBlockAlign         = 18",
    "  wBitsPerSample      = 24",
    "  SubFormat           = KSDATAFORMAT_SUBTYPE_PCM",
    "  wValidBitsPerSample = 24",
    "  DefaultDevicePeriod = 100000",
    "  MinimumDevicePeriod = 30000",
    ">Create a capture device ----------------",
    "WAVEFORMATEXTENSIBLE",
    "  nChannels           = 2",
    "  nSamplesPerSec      = 48000",
    "  nAvgBytesPerSec     = 384000",
    "  nBlockAlign         = 8",
    "  wBitsPerSample      = 32",
    "  SubFormat           = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT",
    "  wValidBitsPerSample = 32",
    ">Start the captureing.",
]
CAPTURE_STOP = [">Finish the capturing.", ">The capture thread has terminated."]
CTRL_C = ">Received the [Ctrl]+[C] event!"
FINAL = ">The 'trivandel.exe' was terminated."
SUSPEND = r">Received the suspend power state message! " + TIME_RE
RESUME = r">Received the resume power state message! " + TIME_RE
WAITING = r">Waiting a resume event\. " + TIME_RE
START_LINE = re.escape(">Start the captureing.")
DETECTED = ">The priority application was detected. The capturing will stop. (%s)"
TERMINATED = ">The priority application was terminated. (%s)"


def without_warnings(lines):
    """The store's warnings depend on timing (a late buffer, an empty store):
    they are not part of the sequence the cases compare."""
    return [line for line in lines if not line.startswith("WARNING:")]


class WholeProgram(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="trivandel-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.xvfb = Xvfb()
        self.addCleanup(self.xvfb.stop)
        display = self.xvfb.start()
        self.wine = Wine(PREFIX, display)
        # Ended even when the case fails, with every helper still running.
        self.addCleanup(self.wine.kill_server)
        self.wine.start_server()
        self.program = None

    def start(self, args=(), taps=True):
        if taps:
            for name in ("FIR_LPF.txt", "FIR_BPF.txt", "FIR_HPF.txt"):
                shutil.copy(os.path.join(TAPS, name), self.folder)
        self.program = ConsoleProgram(self.wine, STANDIN, args, cwd=self.folder,
                                      env={"TRIVANDEL_STANDIN_INPUT": "tones"})
        self.addCleanup(self.program.close)

    def wait_line(self, pattern, start=0, timeout=15):
        index = self.program.wait_for(pattern, timeout, start)
        if index is None:
            self.fail("no line matching %r after line %d; output:\n%s\nstderr:\n%s"
                      % (pattern, start, self.program.text, self.program.stderr_text()))
        return index

    def wait_capturing(self, start=0):
        """Index of the next ">Start the captureing." line."""
        return self.wait_line(START_LINE, start, timeout=60)

    def start_helper(self, exe, args):
        helper = self.wine.start(exe, args)
        self.addCleanup(helper.stdout.close)
        self.addCleanup(helper.wait, 30)
        return helper

    def send_power(self, event):
        status, _ = self.wine.run(SEND_POWER, [event])
        self.assertEqual(status, 0, "send_power %s found no window" % event)

    def stop_with_ctrl_c(self):
        self.program.ctrl_c()
        status = self.program.wait(15)
        self.assertEqual(status, 0, "output:\n" + self.program.text)

    def assert_lines(self, expected):
        """Compares every line exactly; an entry that is a compiled regular
        expression matches a line with a time in it."""
        actual = without_warnings(self.program.lines())
        self.assertEqual(len(actual), len(expected),
                         "\n".join(["actual:"] + actual))
        for i, (line, want) in enumerate(zip(actual, expected)):
            if isinstance(want, re.Pattern):
                self.assertRegex(line, want, "line %d" % i)
            else:
                self.assertEqual(line, want, "line %d" % i)
        # Nothing after the final line, not even half a line.
        self.assertTrue(self.program.text.endswith("\r\n"))

    def test_ctrl_c_stops_the_capture_and_ends_the_program(self):
        self.start()
        self.wait_capturing()
        time.sleep(1.0)
        self.stop_with_ctrl_c()
        self.assert_lines(CAPTURE_START + [CTRL_C] + CAPTURE_STOP + [FINAL])

    def test_suspend_stops_the_capture_and_resume_starts_it_again(self):
        self.start()
        self.wait_capturing()
        # Other broadcasts are ignored: nothing printed, capture goes on.
        self.send_power("other")
        time.sleep(1.2)
        self.assertEqual(len(self.program.lines()),
                         len(CAPTURE_START) + self._warnings(), self.program.text)
        self.send_power("4")
        first_wait = self.wait_line(WAITING)
        self.send_power("18")
        self.wait_capturing(first_wait)
        time.sleep(0.5)
        self.stop_with_ctrl_c()
        self.assert_lines(
            CAPTURE_START + [re.compile(SUSPEND)] + CAPTURE_STOP + [re.compile(WAITING),
                                                                   re.compile(RESUME)]
            + CAPTURE_START + [CTRL_C] + CAPTURE_STOP + [FINAL])

    def test_ctrl_c_while_waiting_for_resume_ends_the_program_at_once(self):
        self.start()
        self.wait_capturing()
        self.send_power("4")
        self.wait_line(WAITING)
        time.sleep(0.5)
        began = time.monotonic()
        self.stop_with_ctrl_c()
        # At once: no power event needed, no capture thread started.
        self.assertLess(time.monotonic() - began, 5.0)
        self.assert_lines(CAPTURE_START + [re.compile(SUSPEND)] + CAPTURE_STOP
                          + [re.compile(WAITING), CTRL_C, FINAL])

    def test_priority_application_pauses_the_capture_until_it_ends(self):
        player = copy_as(PRIORITY_WINDOW, self.folder, "foobar2000.exe")
        self.start()
        self.wait_capturing()
        helper = self.start_helper(player, ["visible", "3000"])
        detected = self.wait_line(re.escape(DETECTED % "foobar2000.exe"))
        self.wait_line(re.escape(TERMINATED % "foobar2000.exe"), detected, timeout=20)
        self.assertEqual(helper.wait(10), 0)
        self.wait_capturing(detected)
        self.stop_with_ctrl_c()
        self.assert_lines(CAPTURE_START + CAPTURE_STOP
                          + [DETECTED % "foobar2000.exe", TERMINATED % "foobar2000.exe"]
                          + CAPTURE_START + [CTRL_C] + CAPTURE_STOP + [FINAL])

    def test_priority_application_at_start_named_in_other_letter_case(self):
        player = copy_as(PRIORITY_WINDOW, self.folder, "Player.exe")
        helper = self.start_helper(player, ["visible", "3000"])
        self.assertEqual(helper.stdout.readline().strip(), b"shown")
        self.start(["-priority_app", "PLAYER.EXE"])
        self.wait_line(re.escape(TERMINATED % "PLAYER.EXE"), timeout=20)
        self.wait_capturing()
        self.stop_with_ctrl_c()
        # No capture thread before the application has ended.
        self.assert_lines([DETECTED % "PLAYER.EXE", TERMINATED % "PLAYER.EXE"]
                          + CAPTURE_START + [CTRL_C] + CAPTURE_STOP + [FINAL])

    def test_hidden_or_owned_windows_are_not_detected(self):
        player = copy_as(PRIORITY_WINDOW, self.folder, "foobar2000.exe")
        self.start()
        self.wait_capturing()
        for mode in ("hidden", "owned"):
            helper = self.start_helper(player, [mode, "2500"])
            self.assertEqual(helper.stdout.readline().strip(), b"shown", mode)
            # Two checks of the one-second watch see the window.
            self.assertEqual(helper.wait(15), 0, mode)
        self.stop_with_ctrl_c()
        self.assert_lines(CAPTURE_START + [CTRL_C] + CAPTURE_STOP + [FINAL])

    def test_capture_thread_ending_by_itself_ends_the_program(self):
        self.start(taps=False)
        status = self.program.wait(60)
        self.assertEqual(status, 0, self.program.text)
        self.assert_lines([
            "ERROR:failed to open file. FIR_LPF.txt",
            "ERROR:failed to open file. FIR_BPF.txt",
            "ERROR:failed to open file. FIR_HPF.txt",
            "ERROR:Audio device initialization was failed.",
            ">The capture thread has terminated.",
            FINAL,
        ])

    def _warnings(self):
        return sum(line.startswith("WARNING:") for line in self.program.lines())


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + sys.argv[5:], verbosity=2)
