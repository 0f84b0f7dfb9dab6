#!/usr/bin/env python3
"""trivandel-check as a user runs it: arguments, exit status, the lines it
prints, and the SVG it draws, parsed."""
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

CHECK, TAPS = sys.argv[1], os.path.abspath(sys.argv[2])

USAGE_FIRST = ("trivandel-check: shows what trivandel.exe's tap files do before they reach "
               "the speakers.")
CLIPS = ("WARNING:A full-scale sine at {} clips the {} band at -attenuation 2 (peak +0.00 dB);"
         " it plays clean at -attenuation 1.000 or less.")
EXAMPLE_PEAKS = ("Largest output for a full-scale input (the sum of the absolute taps): low 1.510,"
                 " mid 2.700, high 3.175 of full scale")
EXAMPLE_SINE = ("  at -attenuation 0.8 a full-scale sine reaches at most 0.800 of full scale (the "
                "loudest band at its peak)")


def run(args, cwd):
    done = subprocess.run([CHECK] + args, cwd=cwd, capture_output=True, text=True, timeout=120)
    return done.returncode, done.stdout.splitlines()


class CheckCommandLine(unittest.TestCase):
    def test_statuses_and_lines(self):
        with tempfile.TemporaryDirectory() as scratch:
            for name, text in (("FIR_LPF.txt", "0.5\n0.5\n"), ("FIR_BPF.txt", "0.5\n"),
                               ("FIR_HPF.txt", "0.5\n0.5\n")):
                with open(os.path.join(scratch, name), "w") as f:
                    f.write(text)
            mismatch = "ERROR:Size of filter tap of LPF and HPF doesn't mutch. FIR_BPF.txt"
            cases = [
                # arguments, exit status, lines expected first, lines expected last
                ([TAPS], 0, ["Tap files FIR_LPF.txt, FIR_BPF.txt, FIR_HPF.txt in " + TAPS],
                 ["Crossover points (-6 dB): 299.9 Hz, 3000 Hz", EXAMPLE_PEAKS, "  nothing can clip "
                  "at -attenuation 0.315 or less; trivandel.exe's default is 0.8", EXAMPLE_SINE, "",
                  "No warnings."]),
                ([TAPS, "-ATTENUATION", "2"], 1, [],
                 [CLIPS.format("110.2 Hz", "low"), CLIPS.format("488.2 Hz", "mid"),
                  CLIPS.format("3190 Hz", "high"), "3 warnings."]),
                ([scratch], 2, [], [mismatch, "ERROR:trivandel.exe cannot use these tap files."]),
                ([TAPS, "-rate", "44100.5"], 2,
                 ["ERROR:-rate takes a whole number of Hz from 1000 to 768000."], []),
                ([TAPS, "-output_bit", "20"], 2, ["ERROR:-output_bit takes 16 or 24."], []),
                ([TAPS, "-svg"], 2, [USAGE_FIRST], []),
                ([TAPS, TAPS], 2, [USAGE_FIRST], []),
                ([os.path.join(scratch, "none")], 2,
                 ["ERROR:Cannot open the folder " + os.path.join(scratch, "none")], []),
            ]
            for args, status, first, last in cases:
                with self.subTest(args=args):
                    code, lines = run(args, scratch)
                    self.assertEqual(code, status, lines)
                    self.assertEqual(lines[:len(first)], first)
                    self.assertEqual(lines[len(lines) - len(last):], last)

    def test_numbers_left_unread_after_the_stop_are_warned_of(self):
        with tempfile.TemporaryDirectory() as scratch:
            for name in ("FIR_LPF.txt", "FIR_BPF.txt", "FIR_HPF.txt"):
                shutil.copy(os.path.join(TAPS, name), scratch)
            with open(os.path.join(scratch, "FIR_LPF.txt"), "a") as f:
                f.write("\n0.5\n# end\n1e-3\n")
            # The example's report, but for the warning.
            code, lines = run([], scratch)
            self.assertEqual((code, lines[1:]), (1, run([TAPS], scratch)[1][1:-1] + [
                "WARNING:FIR_LPF.txt: reading stopped at line 1024, which is not a number; 2 "
                "numbers after it were not read.", "1 warning."]))

    def test_svg_draws_the_three_bands_and_their_sum(self):
        with tempfile.TemporaryDirectory() as scratch:
            code, lines = run([TAPS, "-svg", "r.svg"], scratch)
            path = os.path.join(scratch, "r.svg")
            self.assertEqual((code, lines[-1]), (0, "Responses drawn in " + path))
            root = ElementTree.parse(path).getroot()
            self.assertEqual(root.tag, "{http://www.w3.org/2000/svg}svg")
            width, height = (float(root.get(k)) for k in ("width", "height"))
            curves = [[tuple(map(float, p.split(","))) for p in line.get("points").split()]
                      for line in root.iter("{http://www.w3.org/2000/svg}polyline")]
            self.assertEqual(len(curves), 4)  # low, mid, high, sum
            for curve in curves:
                self.assertTrue(all(0 <= x <= width and 0 <= y <= height for x, y in curve))
            low, mid, high, total = curves
            # Higher on the page is louder: the low band falls, the high band
            # rises, the mid band peaks inside, and the sum is flat.
            self.assertLess(low[0][1], low[-1][1])
            self.assertGreater(high[0][1], high[-1][1])
            self.assertLess(min(y for _, y in mid), min(mid[0][1], mid[-1][1]))
            self.assertEqual(len({y for _, y in total}), 1)

    def test_levels_of_three_tones_rendered_through_the_example_taps(self):
        with tempfile.TemporaryDirectory() as scratch:
            # Two seconds of 100 Hz, 1 kHz and 8 kHz, each at 0.25 of full
            # scale, as the demo plays them.
            rate = 48000
            frames = b"".join(struct.pack("<hh", *(round(8191.75 * sum(
                math.sin(2 * math.pi * hz * i / rate) for hz in (100, 1000, 8000))),) * 2)
                for i in range(2 * rate))
            body = (b"WAVEfmt " + struct.pack("<IHHIIHH", 16, 1, 2, rate, 4 * rate, 4, 16)
                    + b"data" + struct.pack("<I", len(frames)) + frames)
            with open(os.path.join(scratch, "tones.wav"), "wb") as f:
                f.write(b"RIFF" + struct.pack("<I", len(body)) + body)
            self.assertEqual(run([TAPS, "-render", "tones.wav", "out.wav"], scratch)[0], 0)
            code, lines = run(["-levels", "out.wav"], scratch)
            self.assertEqual(code, 0)
            self.assertEqual(lines[:2], [
                "Tone levels on each channel, dBFS (0.3 s to 1.3 s of the file):",
                "  channel      100 Hz   1000 Hz   8000 Hz"])
            # Each band passes its tone at 0.25 * 0.8 (-14.0 dBFS), the
            # others at least 80 dB down.
            names = ["mid L", "mid R", "low L", "low R", "high L", "high R"]
            passed = [1, 1, 0, 0, 2, 2]
            for channel, line in enumerate(lines[2:]):
                fields = line.split()
                self.assertEqual(" ".join(fields[:-3]), "%d %s" % (channel, names[channel]))
                levels = [float(v) for v in fields[-3:]]
                self.assertEqual(levels[passed[channel]], -14.0, line)
                self.assertLess(max(v for i, v in enumerate(levels) if i != passed[channel]),
                                -94, line)
            self.assertEqual(len(lines), 8)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
