"""The command line of trivandel.exe, run for real under Wine.

usage: command_line_test.py WINE_RUN PREFIX TRIVANDEL_EXE
"""

import os
import subprocess
import sys
import tempfile
import unittest

USAGE = (
    "trivandel alpha-1 ver 0.01\r\n"
    "Copyright (c) the trivandel developers. Provided as is, without warranty.\r\n"
    "\r\n"
    ">trivandel.exe [options]\r\n"
    "Options.\r\n"
    "    -output_device # : Output audio device name.\r\n"
    "       -output_bit # : Output quantization bit. (16 or 24 only)\r\n"
    "  -buffer_duration # : Output buffer size. [msec]\r\n"
    "     -priority_app # : priority application exe name.\r\n"
    "           -mono_lfe : Monaural LFE.\r\n"
    "       -attenuatio # : attenuatio rate.\r\n"
    "            -verbose : Output debug logs.\r\n"
    "\r\n"
    "Default settings are...\r\n"
    "      -output_device = Automatic detection.\r\n"
    "         -output_bit = Follow output audio device setting.\r\n"
    "    -buffer_duration = 100[ms]\r\n"
    "       -priority_app = foobar2000.exe.\r\n"
    "           -mono_lfe = Disable.\r\n"
    "         -attenuatio = 0.8\r\n"
    "            -verbose = Disable.\r\n"
).encode()

# Run in an empty folder, the capture thread finds no tap files and the
# program ends by itself after these lines.
NO_TAPS_END = (
    "ERROR:failed to open file. FIR_LPF.txt\r\n"
    "ERROR:failed to open file. FIR_BPF.txt\r\n"
    "ERROR:failed to open file. FIR_HPF.txt\r\n"
    "ERROR:Audio device initialization was failed.\r\n"
    ">The capture thread has terminated.\r\n"
    ">The 'trivandel.exe' was terminated.\r\n"
)


def echo(device="", bits=0, duration=0, app="foobar2000.exe", mono="",
         attenuation="0.800000"):
    return (
        ">Command line options.\r\n"
        f"    -output_device = {device}\r\n"
        f"       -output_bit = {bits}\r\n"
        f"  -buffer_duration = {duration}\r\n"
        f"     -priority_app = {app}\r\n"
        f"         -mono_lfe = {mono}\r\n"
        f"      -attenuation = {attenuation}\r\n"
    )


class CommandLine(unittest.TestCase):
    command = None  # [wine-run, prefix, trivandel.exe]

    def run_program(self, *args):
        """The program's whole output, run in an empty folder without a
        display (its hidden window is not needed here)."""
        env = dict(os.environ)
        env.pop("DISPLAY", None)
        with tempfile.TemporaryDirectory() as empty:
            proc = subprocess.run(self.command + list(args), cwd=empty, env=env,
                                  stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL, timeout=60)
        self.assertEqual(proc.returncode, 0)
        return proc.stdout

    def test_unknown_arguments_print_only_the_usage(self):
        for args in (["-bogus"], ["-attenuatio", "0.5"], ["-verbose", "-bogus"],
                     ["--verbose"], ["-verbose=1"], ["-verb"], ["-output_bit", "16", "x"]):
            with self.subTest(args=args):
                self.assertEqual(self.run_program(*args), USAGE)

    def test_echo_shows_the_parsed_values(self):
        cases = [
            (["-verbose"], echo()),
            (["-VERBOSE"], echo()),
            (["-Output_Device", "Speakers (2- USB)", "-verbose"], echo(device="Speakers (2- USB)")),
            (["-verbose", "-output_device"], echo()),
            (["-verbose", "-output_bit", "16", "-output_bit", "24"], echo(bits=24)),
            (["-verbose", "-buffer_duration", " 50ms"], echo(duration=50)),
            (["-verbose", "-output_bit", "abc", "-buffer_duration", "-7"], echo(duration=-7)),
            (["-verbose", "-priority_app", "-mono_lfe"], echo(app="-mono_lfe")),
            (["-verbose", "-Mono_LFE", "-mute_mixer"], echo(mono="Enable")),
            (["-verbose", "-attenuation", "0.5"], echo(attenuation="0.500000")),
            (["-verbose", "-attenuation", "1e-1"], echo(attenuation="0.100000")),
            (["-verbose", "-attenuation", "x"], echo(attenuation="0.000000")),
            (["-verbose", "-attenuation", "0.1", "-attenuation", "1.25"], echo(attenuation="1.250000")),
            (["-verbose", "-priority_app", "FOOBAR2000.EXE"], echo(app="FOOBAR2000.EXE")),
        ]
        for args, expected in cases:
            with self.subTest(args=args):
                self.assertEqual(self.run_program(*args), (expected + NO_TAPS_END).encode())

    def test_a_value_option_takes_the_next_argument_whatever_it_is(self):
        # "-verbose" becomes the device name, so there is no echo.
        self.assertEqual(self.run_program("-output_device", "-verbose"), NO_TAPS_END.encode())

    def test_without_verbose_nothing_is_echoed(self):
        for args in ([], ["-mute_mixer"], ["-mono_lfe", "-output_bit", "24"]):
            with self.subTest(args=args):
                self.assertEqual(self.run_program(*args), NO_TAPS_END.encode())

    def test_an_overlong_name_is_cut_to_259_characters(self):
        name = "n" * 300
        out = self.run_program("-verbose", "-output_device", name, "-priority_app", name)
        self.assertEqual(out, (echo(device="n" * 259, app="n" * 259) + NO_TAPS_END).encode())


if __name__ == "__main__":
    CommandLine.command = sys.argv[1:4]
    unittest.main(argv=sys.argv[:1], verbosity=2)
