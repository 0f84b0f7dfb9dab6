"""The whole program under Wine, on trivandel-demo.exe: suspend and
resume, the priority application, the device events of a day (scripted by
TRIVANDEL_STANDIN_EVENTS), each run ended by Ctrl+C. (The capture thread's
own end shows in tests/app/command_line_test.py.)

usage: xvfb-run -a scenarios_test.py STANDIN_EXE PEER_EXE TAPS_DIR WINEPREFIX CASE

Each case runs the program in a fresh folder on a pseudo-terminal, in a Wine
prefix whose wineserver is ended when the case ends, pass or fail."""

import os
import re
import shutil
import struct
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from wine_session import TIME_RE, ConsoleProgram, Wine  # noqa: E402

STANDIN, PEER, TAPS, PREFIX = sys.argv[1:5]

# What one capture start prints on the stand-in endpoints, up to its loop:
# the lines the set-up tests of the capture thread expect as well.
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "capture_start.txt")) as f:
    CAPTURE_START = f.read().splitlines()
HEADPHONES = [CAPTURE_START[1].replace("Speakers", "Headphones"),
              CAPTURE_START[2].replace("000000000001}", "000000000002}")]
MULTICHANNEL = CAPTURE_START[9:11]


def capture_start(default=None, output=6, headphones=False):
    """A capture start with another default endpoint (its two lines), the
    output under another id, or Headphones 2 plugged in (listed third)."""
    lines = CAPTURE_START[:1] + (default or CAPTURE_START[1:3]) + CAPTURE_START[3:12]
    if headphones:
        lines += ["No:2"] + HEADPHONES + [CAPTURE_START[7]]  # float stereo, as Speakers
    lines += CAPTURE_START[12:]
    return [line.replace("000000000006}", "00000000000%d}" % output) for line in lines]


THREAD_END = ">The capture thread has terminated."
CAPTURE_STOP = [">Finish the capturing.", THREAD_END]
CTRL_C = ">Received the [Ctrl]+[C] event!"
FINAL = ">The 'trivandel.exe' was terminated."
SUSPEND = re.compile(r">Received the suspend power state message! " + TIME_RE)
RESUME = re.compile(r">Received the resume power state message! " + TIME_RE)
WAITING = re.compile(r">Waiting a resume event\. " + TIME_RE)
STARTED = re.escape(CAPTURE_START[-1])
DETECTED = ">The priority application was detected. The capturing will stop. (%s)"
TERMINATED = ">The priority application was terminated. (%s)"
LOOP_ERROR = ["ERROR:Error occurred during sound processing loop.", THREAD_END]
INIT_FAILED = ["ERROR:Audio device initialization was failed.", THREAD_END]
OUTPUT_LOST = "WARNING:The output device was lost. Waiting for it to come back."
DEFAULT_CHANGED = ">The default device was changed. The capturing will restart."

WAITING_DEFAULT = ["ERROR:Couldn't decide a output device."] + INIT_FAILED + [
    "WARNING:The output device is the default device now. Waiting for another default device."]
# Device events: the script, what follows the first capture start up to the
# last one (which Ctrl+C then stops), the command line if any, and another
# outcome the platform's order of notifications allows.
RECOVERIES = {
    "output_lost_for_eight_seconds_plays_again_on_its_return": (
        "1:output-lost,9:output-back", LOOP_ERROR + [OUTPUT_LOST] + CAPTURE_START),
    "output_back_under_a_new_id_is_chosen": (
        "1:output-lost,3:output-back-new-id",
        LOOP_ERROR + [OUTPUT_LOST] + capture_start(output=7)),
    "named_output_back_under_a_new_id_is_chosen_by_name": (
        "1:output-lost,3:output-back-new-id",
        LOOP_ERROR + [OUTPUT_LOST] + capture_start(output=7),
        ["-output_device", "multichannel (STAND-IN)"]),
    "output_lost_again_while_waiting_is_waited_for": (
        "1:output-lost,3:output-back,3:output-lost,5:output-back",
        LOOP_ERROR + [OUTPUT_LOST] + CAPTURE_START),
    "output_event_that_stops_restarts_the_capture": (
        "1:output-silent",
        ["ERROR:The output buffer event was timeout."] + LOOP_ERROR
        + ["WARNING:The output device stopped asking for data. Restarting the capturing."]
        + CAPTURE_START),
    "loopback_disconnected_restarts_the_capture": (
        "1:loopback-lost",
        LOOP_ERROR + ["WARNING:The capture device was disconnected. Restarting the capturing."]
        + CAPTURE_START),
    "audio_service_restart_is_ridden_out_as_a_lost_loopback": (
        "1:service-restart",
        LOOP_ERROR + ["WARNING:The capture device was disconnected. Restarting the capturing."]
        + CAPTURE_START),
    "new_default_device_is_followed": (
        "1:default-change",
        [DEFAULT_CHANGED] + CAPTURE_STOP + capture_start(HEADPHONES, headphones=True)),
    "output_made_default_is_waited_out_until_the_default_changes_again": (
        "1:default-output,4:default-change",
        [DEFAULT_CHANGED] + CAPTURE_STOP + capture_start(MULTICHANNEL)[:12] + WAITING_DEFAULT
        + capture_start(HEADPHONES, headphones=True), (),
        # The headset's arrival can wake the wait before its default change
        # is heard; the change then restarts the capture that follows it.
        [DEFAULT_CHANGED] + CAPTURE_STOP + capture_start(MULTICHANNEL)[:12] + WAITING_DEFAULT
        + [DEFAULT_CHANGED] + capture_start(HEADPHONES, headphones=True) + CAPTURE_STOP
        + capture_start(HEADPHONES, headphones=True)),
}


def channel_zero(path):
    """Channel 0 of the demo's 24-bit output file, as fractions of full scale."""
    with open(path, "rb") as f:
        data = f.read()
    channels, block = struct.unpack_from("<H", data, 22)[0], struct.unpack_from("<H", data, 32)[0]
    assert channels == 6 and block == 18, (channels, block)
    samples = data[data.index(b"data") + 8:]
    samples = samples[:len(samples) - len(samples) % block]
    return [int.from_bytes(samples[i:i + 3], "little", signed=True) / 8388608.0
            for i in range(0, len(samples), block)]


class WholeProgram(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="trivandel-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.wine = Wine(PREFIX)
        self.addCleanup(self.wine.kill_server)  # with every helper still running
        self.wine.start_server()

    def start(self, args=(), events=None):
        for name in ("FIR_LPF.txt", "FIR_BPF.txt", "FIR_HPF.txt"):
            shutil.copy(os.path.join(TAPS, name), self.folder)
        env = {"TRIVANDEL_STANDIN_OUTPUT": "out.wav"}
        if events:
            env["TRIVANDEL_STANDIN_EVENTS"] = events
        self.program = ConsoleProgram(self.wine, STANDIN, args, cwd=self.folder, env=env)
        self.addCleanup(self.program.close)
        self.output = os.path.join(self.folder, "out.wav")

    def wait_until(self, ready, what, timeout=60):
        deadline = time.monotonic() + timeout
        while not ready():
            if time.monotonic() > deadline:
                self.fail("no %s; output:\n%s" % (what, self.program.text))
            time.sleep(0.1)

    def wait_output(self, size):
        """Until the output file holds `size` bytes."""
        self.wait_until(lambda: os.path.exists(self.output)
                        and os.path.getsize(self.output) >= size, "output")

    def wait_event(self, name):
        """Until the stand-in devices have applied a scripted event."""
        self.wait_until(lambda: "standin: event " + name in
                        self.program.stderr_text().splitlines(), "event " + name)

    def wait_line(self, pattern, start=0, timeout=60):
        index = self.program.wait_for(pattern, timeout, start)
        if index is None:
            self.fail("no line matching %r after line %d; output:\n%s\nstderr:\n%s"
                      % (pattern, start, self.program.text, self.program.stderr_text()))
        return index

    def peer(self, mode, name="foobar2000.exe"):
        """Starts peer.exe's windows (as `name`), waits until they exist;
        they go when the returned function is called."""
        exe = os.path.join(self.folder, name)
        shutil.copyfile(PEER, exe)
        helper = self.wine.start(exe, ["window", mode])
        self.addCleanup(helper.wait, 30)
        self.addCleanup(helper.stdout.close)
        self.addCleanup(helper.stdin.close)
        self.assertEqual(helper.stdout.readline().strip(), b"shown")
        return helper.stdin.close

    def power(self, event):
        self.assertEqual(self.wine.run(PEER, ["power", event])[0], 0, "no window for " + event)

    def stop_with_ctrl_c(self):
        self.program.ctrl_c()
        self.assert_ended()

    def assert_ended(self):
        """Exit status 0: the demo gives 3 when a stand-in object outlived the run."""
        self.assertEqual(self.program.wait(15), 0, "output:\n%s\nstderr:\n%s"
                         % (self.program.text, self.program.stderr_text()))

    def assert_lines(self, expected, also=None):
        """Every line exactly (a compiled pattern matches a line with a time),
        of `expected` or of `also`; the store's timing-dependent warnings are
        left out."""
        actual = [line for line in self.program.lines()
                  if not line.startswith(("WARNING:Buffer", "WARNING:Clip"))]
        if also and len(actual) == len(also):
            expected = also
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
        self.stop_with_ctrl_c()
        self.assert_lines(CAPTURE_START + [SUSPEND] + CAPTURE_STOP + [WAITING, CTRL_C, FINAL])

    def test_priority_application_pauses_the_capture_until_it_ends(self):
        self.start()
        self.wait_line(STARTED)
        close = self.peer("visible")
        detected = self.wait_line(re.escape(DETECTED % "foobar2000.exe"))
        close()
        self.wait_line(re.escape(TERMINATED % "foobar2000.exe"), detected)
        self.wait_line(STARTED, detected)
        self.stop_with_ctrl_c()
        self.assert_lines(CAPTURE_START + CAPTURE_STOP
                          + [DETECTED % "foobar2000.exe", TERMINATED % "foobar2000.exe"]
                          + CAPTURE_START + [CTRL_C] + CAPTURE_STOP + [FINAL])

    def test_priority_application_at_start_named_in_other_letter_case(self):
        close = self.peer("visible", name="Player.exe")
        self.start(["-priority_app", "PLAYER.EXE"])
        self.wait_line(re.escape(DETECTED % "PLAYER.EXE"))
        close()
        self.wait_line(STARTED)
        self.stop_with_ctrl_c()
        # No capture thread before the application has ended.
        self.assert_lines([DETECTED % "PLAYER.EXE", TERMINATED % "PLAYER.EXE"]
                          + CAPTURE_START + [CTRL_C] + CAPTURE_STOP + [FINAL])

    def test_hidden_or_owned_windows_are_not_detected(self):
        self.peer("hidden")
        self.peer("owned")
        self.start()  # the check before the first capture start sees both
        self.wait_line(STARTED)
        self.stop_with_ctrl_c()
        self.assert_lines(CAPTURE_START + [CTRL_C] + CAPTURE_STOP + [FINAL])

    def recover(self, events, middle, args=(), also=None):
        """Runs the script, waits for the last capture start, stops; the lines
        exactly, and the output file: tones before and after, no burst."""
        self.start(args, events=events)
        index = self.wait_line(STARTED)
        began = time.monotonic()
        for _ in range(middle.count(CAPTURE_START[-1])):
            index = self.wait_line(STARTED, index + 1)
        restarted = time.monotonic() - began
        self.wait_output(os.path.getsize(self.output) + 2 * 48000 * 18)  # 2 s played since
        self.stop_with_ctrl_c()
        end = [CTRL_C] + CAPTURE_STOP + [FINAL]
        self.assert_lines(CAPTURE_START + middle + end, also and CAPTURE_START + also + end)
        # The tones' peak (the mid band's 1 kHz) in the first second and in
        # the last one, which gaps while the store refills cannot lower.
        samples = channel_zero(self.output)
        first, last = max(map(abs, samples[:48000])), max(map(abs, samples[-48000:]))
        self.assertGreater(first, 0.05)
        self.assertLess(abs(last / first - 1), 0.05, "not playing the tones again")
        # Stale buffer bytes or a restart in another format would show here.
        self.assertLess(max(map(abs, samples)), 1.05 * first)
        return restarted

    def test_output_lost_for_eight_seconds_plays_again_on_its_return(self):
        # Back 9 s after the first start: its notification restarts the
        # capture at once, where the waits between checks (5 s by then)
        # would not until 13 s.
        self.assertLess(self.recover(*RECOVERIES[
            "output_lost_for_eight_seconds_plays_again_on_its_return"]), 9 + 3)

    def test_output_missing_after_resume_is_waited_for(self):
        self.start(events="6:output-lost,14:output-back")
        self.wait_line(STARTED)
        self.power("4")
        self.wait_line(WAITING.pattern)
        self.wait_event("output-lost")  # while suspended
        self.power("18")
        missing = self.wait_line(re.escape("WARNING:An audio device is missing. Waiting for it."))
        self.wait_line(STARTED, missing)
        self.stop_with_ctrl_c()
        self.assert_lines(CAPTURE_START + [SUSPEND] + CAPTURE_STOP + [WAITING, RESUME]
                          + CAPTURE_START[:8]  # no output listed
                          + ["ERROR:Couldn't decide a output device."] + INIT_FAILED
                          + ["WARNING:An audio device is missing. Waiting for it."]
                          + CAPTURE_START + [CTRL_C] + CAPTURE_STOP + [FINAL])

    def test_ctrl_c_while_waiting_for_a_device_ends_at_once(self):
        self.start(events="1:output-lost")
        self.wait_line(re.escape(OUTPUT_LOST))
        self.stop_with_ctrl_c()
        self.assert_lines(CAPTURE_START + LOOP_ERROR + [OUTPUT_LOST, CTRL_C, FINAL])

    def test_tap_file_error_after_a_restart_ends_the_program(self):
        self.start(events="1:output-lost,5:output-back")
        self.wait_line(re.escape(OUTPUT_LOST))
        os.remove(os.path.join(self.folder, "FIR_HPF.txt"))
        self.assert_ended()
        self.assert_lines(CAPTURE_START + LOOP_ERROR + [OUTPUT_LOST]
                          + ["ERROR:failed to open file. FIR_HPF.txt"] + INIT_FAILED + [FINAL])


def recovery_case(name):
    return lambda self: self.recover(*RECOVERIES[name])


for case_name in RECOVERIES:
    if not hasattr(WholeProgram, "test_" + case_name):
        setattr(WholeProgram, "test_" + case_name, recovery_case(case_name))


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "WholeProgram." + sys.argv[5]], verbosity=2)
