#!/usr/bin/env python3
"""trivandel-design as a user runs it: the example design's report and exit
status, a design that needs more taps, an error in a design file, imports."""
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

DESIGN = sys.argv[1]
EXAMPLE = """rate 48000
taps 4095
phase linear
crossover 300 linkwitz-riley 24
crossover 3000 linkwitz-riley 24
low  gain -1.5
mid  delay 0.12
high gain -4 polarity inverted
"""
NAMES = ["FIR_LPF.txt", "FIR_BPF.txt", "FIR_HPF.txt"]


def run(args, cwd):
    done = subprocess.run([DESIGN] + args, cwd=cwd, capture_output=True, text=True, timeout=300)
    return done.returncode, done.stdout.splitlines()


def write(folder, name, content, mode="w"):
    with open(os.path.join(folder, name), mode) as f:
        f.write(content)


class DesignCommandLine(unittest.TestCase):
    def test_designs(self):
        cases = [  # design text, exit status, lines expected (regular expressions)
            (EXAMPLE, 0, [
                r"Low band: intended gain -1\.500 dB, delay 0\.0000 ms, polarity normal; measured "
                r"at 77\.6 Hz: gain -1\.500 dB, delay 0\.0000 ms, polarity normal",
                r"Mid band: intended gain \+0\.000 dB, delay 0\.1200 ms, polarity normal; measured "
                r"at 948\.5 Hz: gain \+0\.000 dB, delay 0\.1200 ms, polarity normal",
                r"High band: intended gain -4\.000 dB, delay 0\.0000 ms, polarity inverted; "
                r"measured at 7749\.8 Hz: gain -4\.000 dB, delay 0\.0000 ms, polarity inverted",
                r"  largest deviation from the target, 20 Hz to 20 kHz where it is above -60 dB: "
                r"[-+]0\.000\d dB at .*",
                r"Sum with the intended delays, gains and polarities taken out: largest deviation "
                r"from flat \+0\.0009 dB at 955\.1 Hz",
                r"WARNING:The bands do not add up flat: the sum is -4\.53 dB at 7044 Hz\.",
                r"The check's warning that the bands do not add up flat is the design's: .*",
                r"No design warnings\."]),
            (EXAMPLE + "low highpass 20 butterworth 24\n", 1, [
                r"WARNING:The low band strays -\d\.\d\d dB from its target at \d+\.\d Hz: 4095 taps "
                r"are too short for this design; 8191 taps would do\.", r"1 design warning\."]),
            (EXAMPLE + "mid delay 60\n", 1, [
                r"WARNING:The mid band's delay of 60\.1200 ms does not fit in 4095 taps: .*"]),
            (EXAMPLE + "high gain 6\n", 1, [
                r"WARNING:Clipping is possible at trivandel.exe's default -attenuation 0\.8: the "
                r"high band peaks at \+2\.00 dB\."]),
            (EXAMPLE.replace("taps 4095", "taps 4096"), 2, [
                r"ERROR:d\.txt line 8: expected an odd number of taps for phase linear"]),
            (EXAMPLE + "mid delay -1\n", 2, [r"ERROR:d\.txt line 9: expected a band setting: .*"]),
            (EXAMPLE + "correction r.dbl\n", 2, [r"ERROR:.*r\.dbl holds 3 bytes: expected a whole "
                                                 r"number of 8-byte floats"]),
        ]
        for text, status, expected in cases:
            with self.subTest(text=text[-40:]), tempfile.TemporaryDirectory() as scratch:
                write(scratch, "d.txt", text)
                write(scratch, "r.dbl", "abc")
                code, lines = run(["d.txt"], scratch)
                self.assertEqual(code, status, "\n".join(lines))
                for pattern in expected:
                    self.assertTrue(any(re.fullmatch(pattern, line) for line in lines), pattern)
                written = [os.path.exists(os.path.join(scratch, n)) for n in NAMES]
                self.assertEqual(written, [status < 2] * 3)
                self.assertEqual([n for n in os.listdir(scratch) if n.endswith(".tmp")], [])

    def test_svg_draws_each_band_beside_its_dashed_target_and_the_sum(self):
        with tempfile.TemporaryDirectory() as scratch:
            write(scratch, "d.txt", EXAMPLE)
            code, lines = run(["d.txt", "-out", ".", "-svg", "r.svg"], scratch)
            self.assertEqual((code, lines[-1]), (0, "Responses drawn in r.svg"))
            curves = list(ElementTree.parse(os.path.join(scratch, "r.svg")).getroot().iter(
                "{http://www.w3.org/2000/svg}polyline"))
            self.assertEqual([c.get("stroke-dasharray") is not None for c in curves],
                             [True, False] * 3 + [False])
            # Drawn and target curves of a band lie on each other.
            def heights(curve):
                return [round(float(p.split(",")[1])) for p in curve.get("points").split()]
            for target, band in zip(curves[0:6:2], curves[1:6:2]):
                self.assertEqual(heights(target), heights(band))

    def test_imports(self):
        with tempfile.TemporaryDirectory() as scratch:
            write(scratch, "rew.txt", "* Impulse Response data saved by REW\n0.5 // Peak value\n"
                  "2.0833333333333333E-5 // Sample interval (seconds)\n* Data start\n"
                  "0,25\n-0,5\n1,25E-1\n")
            write(scratch, "r.dbl", struct.pack("<3d", 0.25, -0.5, 0.125), "wb")
            cases = [  # arguments, exit status, lines
                (["-import", "rew.txt", "-out", "t.txt"], 0, [
                    "Read rew.txt: REW impulse response text, 3 taps, rate 48000 Hz, peak -0.5 "
                    "(-6.02 dB) at tap 1 (0.021 ms)",
                    "  its numbers are written with a decimal comma: read as decimal points",
                    "Wrote t.txt: 3 taps, one a line, last tap first (trivandel.exe's order: its "
                    "first tap multiplies the oldest frame)"]),
                (["-import", "r.dbl", "-out", "t.txt", "-rate", "44100"], 0, [
                    "Read r.dbl: raw 64-bit floats, 3 taps, peak -0.5 (-6.02 dB) at tap 1 "
                    "(0.023 ms)", "Wrote t.txt: 3 taps, one a line, last tap first (trivandel.exe's "
                    "order: its first tap multiplies the oldest frame)"]),
                (["-import", "rew.txt", "-out", "t.txt", "-rate", "44100"], 2, [
                    "ERROR:rew.txt is a filter for 48000 Hz, not 44100 Hz: make it at that rate (it "
                    "is not resampled)."]),
            ]
            for args, status, expected in cases:
                with self.subTest(args=args):
                    self.assertEqual(run(args, scratch), (status, expected))
            with open(os.path.join(scratch, "t.txt")) as f:
                self.assertEqual([float(v) for v in f], [0.125, -0.5, 0.25])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
