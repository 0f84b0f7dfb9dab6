"""The whole program under Wine, on trivandel-demo.exe: suspend and
resume, the priority application, each run ended by Ctrl+C. (The capture
thread's own end shows in tests/app/command_line_test.py.)

usage: xvfb-run -a scenarios_test.py STANDIN_EXE PEER_EXE TAPS_DIR WINEPREFIX CASE

Each case runs the program in a fresh folder on a pseudo-terminal, in a Wine
prefix whose wineserver is ended when the case ends, pass or fail."""

import os
import re
import shutil
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from wine_session import TIME_RE, ConsoleProgram, Wine  # noqa: E402

STANDIN, PEER, TAPS, PREFIX = sys.argv[1:5]



def endpoint(name, number):
    return ['  Device_FriendlyName      = "%s (stand-in)"' % name,
            "  EndpointID               = {0.0.0.00000000}.{5ea1d7a0-0001-4000-8000-00000000000%d}"
            % number]


SPEAKERS, MULTICHANNEL = endpoint("Speakers", 1), endpoint("Multichannel", 6)


def wave_format(channels, rate, align, bits, sub):
    return ["WAVEFORMATEXTENSIBLE", "  nChannels           = %d" % channels,
            "  nSamplesPerSec      = %d" % rate, "  nAvgBytesPerSec     = %d" % (rate * align),
            "  nBlockAlign         = %d" % align, "  wBitsPerSample      = %d" % bits,
            "  SubFormat           = KSDATAFORMAT_SUBTYPE_" + sub,
            "  wValidBitsPerSample = %d" % bits]


# What one capture start prints on the stand-in endpoints, up to its loop.
CAPTURE_START = (
    [">Get a capture device ----------------"] + SPEAKERS
    + [">Enumerate and decide a output device ----------------", "No:0"] + SPEAKERS
    + ["  AudioEngine_DeviceFormat = 48.0kHz 32bit Float(32bit) 2ch", "No:1"] + MULTICHANNEL
    + ["  AudioEngine_DeviceFormat = 48.0kHz 24bit PCM(24bit) 6ch",
       ">Create a output device ----------------"] + MULTICHANNEL
    + wave_format(6, 48000, 18, 24, "PCM")
    + ["  DefaultDevicePeriod = 100000", "  MinimumDevicePeriod = 30000",
       ">Create a capture device ----------------"]
    + wave_format(2, 48000, 8, 32, "IEEE_FLOAT") + [">Start the captureing."])
CAPTURE_STOP = [">Finish the capturing.", ">The capture thread has terminated."]
CTRL_C = ">Received the [Ctrl]+[C] event!"
FINAL = ">The 'trivandel.exe' was terminated."
SUSPEND = re.compile(r">Received the suspend power state message! " + TIME_RE)
RESUME = re.compile(r">Received the resume power state message! " + TIME_RE)
WAITING = re.compile(r">Waiting a resume event\. " + TIME_RE)
STARTED = re.escape(CAPTURE_START[-1])
DETECTED = ">The priority application was detected. The capturing will stop. (%s)"
TERMINATED = ">The priority application was terminated. (%s)"


class WholeProgram(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="trivandel-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.wine = Wine(PREFIX)
        self.addCleanup(self.wine.kill_server)  # with every helper still running
        self.wine.start_server()

    def start(self, args=(), taps=True):
        for name in ("FIR_LPF.txt", "FIR_BPF.txt", "FIR_HPF.txt") if taps else ():
            shutil.copy(os.path.join(TAPS, name), self.folder)
        self.program = ConsoleProgram(self.wine, STANDIN, args, cwd=self.folder)
        self.addCleanup(self.program.close)

    def wait_line(self, pattern, start=0, timeout=60):
        index = self.program.wait_for(pattern, timeout, start)
        if index is None:
            self.fail("no line matching %r after line %d; output:\n%s\nstderr:\n%s"
                      % (pattern, start, self.program.text, self.program.stderr_text()))
        return index

    def peer(self, *args, name="peer.exe"):
        """Starts peer.exe (as `name`) and waits until its window exists."""
        exe = os.path.join(self.folder, name)
        shutil.copyfile(PEER, exe)
        helper = self.wine.start(exe, args)
        self.addCleanup(helper.stdout.close)
        self.assertEqual(helper.stdout.readline().strip(), b"shown")
        return helper

    def power(self, event):
        self.assertEqual(self.wine.run(PEER, ["power", event])[0], 0, "no window for " + event)

    def stop_with_ctrl_c(self):
        self.program.ctrl_c()
        self.assertEqual(self.program.wait(15), 0, "output:\n" + self.program.text)

    def assert_lines(self, expected):
        """Every line exactly (a compiled pattern matches a line with a time);
        the store's timing-dependent warnings are left out."""
        actual = [line for line in self.program.lines() if not line.startswith("WARNING:")]
        self.assertEqual(len(actual), len(expected), "\n".join(["actual:"] + actual))
        for i, (line, want) in enumerate(zip(actual, expected)):
            if isinstance(want, re.Pattern):
                self.assertRegex(line, want, "line %d" % i)
            else:
                self.assertEqual(line, want, "line %d" % i)
        self.assertTrue(self.program.text.endswith("\r\n"))  # not even half a line after

    def test_suspend_stops_the_capture_and_resume_starts_it_again(self):
        self.start()
        self.wait_line(STARTED)
        self.power("7")  # another broadcast: ignored, the capture goes on
        self.power("4")
        waiting = self.wait_line(WAITING.pattern)
        self.power("18")
        self.wait_line(STARTED, waiting)
        self.stop_with_ctrl_c()
        self.assert_lines(CAPTURE_START + [SUSPEND] + CAPTURE_STOP + [WAITING, RESUME]
                          + CAPTURE_START + [CTRL_C] + CAPTURE_STOP + [FINAL])

    def test_ctrl_c_while_waiting_for_resume_ends_the_program_at_once(self):
        self.start()
        self.wait_line(STARTED)
        self.power("4")
        self.wait_line(WAITING.pattern)
        began = time.monotonic()
        self.stop_with_ctrl_c()
        self.assertLess(time.monotonic() - began, 5.0)  # no capture thread started first
        self.assert_lines(CAPTURE_START + [SUSPEND] + CAPTURE_STOP + [WAITING, CTRL_C, FINAL])

    def test_priority_application_pauses_the_capture_until_it_ends(self):
        self.start()
        self.wait_line(STARTED)
        self.peer("window", "visible", "3000", name="foobar2000.exe")
        detected = self.wait_line(re.escape(DETECTED % "foobar2000.exe"))
        self.wait_line(re.escape(TERMINATED % "foobar2000.exe"), detected)
        self.wait_line(STARTED, detected)
        self.stop_with_ctrl_c()
        self.assert_lines(CAPTURE_START + CAPTURE_STOP
                          + [DETECTED % "foobar2000.exe", TERMINATED % "foobar2000.exe"]
                          + CAPTURE_START + [CTRL_C] + CAPTURE_STOP + [FINAL])

    def test_priority_application_at_start_named_in_other_letter_case(self):
        self.peer("window", "visible", "3000", name="Player.exe")
        self.start(["-priority_app", "PLAYER.EXE"])
        self.wait_line(STARTED)
        self.stop_with_ctrl_c()
        # No capture thread before the application has ended.
        self.assert_lines([DETECTED % "PLAYER.EXE", TERMINATED % "PLAYER.EXE"]
                          + CAPTURE_START + [CTRL_C] + CAPTURE_STOP + [FINAL])

    def test_hidden_or_owned_windows_are_not_detected(self):
        self.start()
        self.wait_line(STARTED)
        for mode in ("hidden", "owned"):
            # Two checks of the one-second watch see the window.
            self.assertEqual(self.peer("window", mode, "2500", name="foobar2000.exe").wait(15), 0)
        self.stop_with_ctrl_c()
        self.assert_lines(CAPTURE_START + [CTRL_C] + CAPTURE_STOP + [FINAL])


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "WholeProgram." + sys.argv[5]], verbosity=2)
