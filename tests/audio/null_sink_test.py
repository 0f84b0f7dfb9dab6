"""trivandel.exe and trivandel-probe.exe under Wine with PulseAudio null
sinks as endpoints: a stereo "Speakers" and a six-channel "Multichannel".
Wine has no exclusive mode, so each run ends at the format refusal; its
enumeration order is not stable, so lines are found by content.

usage: null_sink_test.py TRIVANDEL_EXE WINEPREFIX PROBE_EXE"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from wine_session import Wine  # noqa: E402

EXE, PREFIX, PROBE = sys.argv[1], sys.argv[2] + "-pulse", sys.argv[3]  # the audio driver setting stays in here
REFUSED = ["ERROR:This format is not supported by endpoint device.",
           "ERROR:Audio device initialization was failed.",
           ">The capture thread has terminated.", ">The 'trivandel.exe' was terminated."]


def value(line):
    return line.split("= ", 1)[1].strip('"')


class NullSinks(unittest.TestCase):
    def setUp(self):
        runtime = tempfile.mkdtemp(prefix="xdg-")
        self.work = tempfile.mkdtemp(prefix="null-sink-run-")
        for folder in (runtime, self.work):
            self.addCleanup(shutil.rmtree, folder, True)
        for name in ("FIR_LPF.txt", "FIR_BPF.txt", "FIR_HPF.txt"):
            with open(os.path.join(self.work, name), "w") as taps:
                taps.write("0.25\n0.5\n0.25\n")
        env = dict(os.environ, XDG_RUNTIME_DIR=runtime, HOME=runtime)
        subprocess.run(["pulseaudio", "-n", "--daemonize=yes", "--exit-idle-time=-1",
                        "--load=module-native-protocol-unix"]
                       + ["--load=module-null-sink sink_name=%s sink_properties=device.description"
                          "=%s channels=%d" % sink for sink in (("stereo", "Speakers", 2),
                                                                ("six", "Multichannel", 6))],
                       env=env, check=True, timeout=30)
        self.addCleanup(subprocess.run, ["pulseaudio", "--kill"], env=env, timeout=30)
        self.wine = Wine(PREFIX)
        self.wine.env.update(XDG_RUNTIME_DIR=runtime, HOME=runtime)
        self.addCleanup(self.wine.kill_server)
        status, _ = self.wine.run("reg", ["add", "HKCU\\Software\\Wine\\Drivers", "/v", "Audio",
                                          "/d", "pulse", "/f"])
        self.assertEqual(status, 0)

    def run_program(self, *args, exe=EXE):
        status, out = self.wine.run(exe, args, cwd=self.work)
        self.assertEqual(status, 0)
        return out.decode("utf-8", "replace").split("\r\n")[:-1]

    def test_endpoints_are_listed_and_chosen_and_the_format_refusal_ends_the_run(self):
        lines = self.run_program()
        # Each "No:" line is followed by the name, the id and the format.
        listed = {value(lines[i + 1]): (value(lines[i + 2]), value(lines[i + 3]))
                  for i, line in enumerate(lines) if line.startswith("No:")}
        self.assertTrue(listed["Multichannel"][1].endswith(" 6ch"), listed)
        self.assertTrue(listed["Speakers"][1].endswith(" 2ch"), listed)
        capture_id = value(lines[lines.index(">Get a capture device ----------------") + 2])
        self.assertNotEqual(listed["Speakers"][0], capture_id)

        # Automatic, by name in other letter case, by id (the stereo sink, which
        # the automatic rule never takes): chosen and then refused by Wine.
        for args, chosen in (((), "Multichannel"), (("-output_device", "mULTICHANNEL"), "Multichannel"),
                             (("-output_device", listed["Speakers"][0]), "Speakers")):
            with self.subTest(args=args):
                lines = self.run_program(*args) if args else lines
                header = lines.index(">Create a output device ----------------")
                self.assertEqual(value(lines[header + 1]), chosen)
                self.assertEqual(lines[-4:], REFUSED)

        lines = self.run_program("-output_device", capture_id)
        self.assertIn("ERROR:Specified output device is same as capture device.(-output_device option)",
                      lines)
        self.assertEqual(lines[-4:], ["ERROR:Couldn't decide a output device."] + REFUSED[1:])

    def test_the_probe_says_that_no_format_is_accepted_in_exclusive_mode(self):
        lines = self.run_program(exe=PROBE)
        multichannel = lines.index('  Device_FriendlyName      = "Multichannel"')
        self.assertEqual(lines[multichannel + 3:multichannel + 5],
                         ["  State: active",
                          "  Without -output_device: the automatic choice: the first candidate"])
        self.assertIn("  Exclusive mode is not allowed on this endpoint (0x8889000E), so "
                      "trivandel.exe cannot play on it. On Windows: Sound settings, the device's "
                      "Properties, Advanced, \"Allow applications to take exclusive control of "
                      "this device\".", lines[multichannel:])
        self.assertRegex(lines[-1], r'^trivandel.exe without options chooses No:\d "Multichannel", '
                         r"and stops: exclusive mode is not allowed on it\.$")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
