"""The command line of trivandel.exe, run for real under Wine: the whole
output of each run, byte for byte.

usage: command_line_test.py TRIVANDEL_EXE WINEPREFIX"""

import os
import sys
import tempfile
import unittest

TESTS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path[:0] = [os.path.join(os.path.dirname(TESTS), "scripts"), TESTS]
from wine_session import Wine  # noqa: E402
from app.usage import USAGE  # noqa: E402

EXE, PREFIX = sys.argv[1:3]

# In an empty folder the capture thread finds no tap files, and the program
# ends by itself after these lines.
NO_TAPS_END = """ERROR:failed to open file. FIR_LPF.txt
ERROR:failed to open file. FIR_BPF.txt
ERROR:failed to open file. FIR_HPF.txt
ERROR:Audio device initialization was failed.
>The capture thread has terminated.
>The 'trivandel.exe' was terminated.
"""


def echo(device="", bits=0, duration=0, app="foobar2000.exe", mono="", attenuation="0.800000"):
    return (">Command line options.\n    -output_device = %s\n       -output_bit = %d\n"
            "  -buffer_duration = %d\n     -priority_app = %s\n         -mono_lfe = %s\n"
            "      -attenuation = %s\n" % (device, bits, duration, app, mono, attenuation)
            + NO_TAPS_END)


# What only the real program shows: the usage text and the echo as printed
# (the parser's rules themselves are fuzzed against a model, fuzz/).
CASES = [
    (["-bogus"], USAGE),
    (["-verbose", "-attenuatio", "0.5"], USAGE),  # no echo before the usage text
    ([], NO_TAPS_END),
    (["-output_device", "-verbose", "-mono_lfe"], NO_TAPS_END),
    (["-VERBOSE"], echo()),
    (["-verbose", "-Output_Device", "Speakers (2- USB)", "-output_bit", "24", "-buffer_duration",
      " 50ms", "-priority_app", "Player.exe", "-Mono_LFE", "-mute_mixer", "-attenuation", "1e-1"],
     echo("Speakers (2- USB)", 24, 50, "Player.exe", "Enable", "0.100000")),
    (["-verbose", "-output_device", "n" * 300, "-priority_app", "N" * 300],
     echo(device="n" * 259, app="N" * 259)),
]


class CommandLine(unittest.TestCase):
    def test_each_command_line_prints_exactly_its_lines_and_exits_0(self):
        wine = Wine(PREFIX)
        for args, expected in CASES:
            with self.subTest(args=" ".join(args)[:60]), tempfile.TemporaryDirectory() as empty:
                status, out = wine.run(EXE, args, cwd=empty)
                self.assertEqual(out, expected.replace("\n", "\r\n").encode())
                self.assertEqual(status, 0)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
