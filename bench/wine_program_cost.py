#!/usr/bin/env python3
"""The whole program's share of one core under Wine, per convolution.

Runs trivandel-demo.exe (the whole program on stand-in endpoints, 48 kHz,
paced in real time) on the three tones through the example crossover at
65536 taps, with TRIVANDEL_CONVOLUTION=direct and =fft, at the default
buffer and at -buffer_duration 10, and prints the process's CPU time
(user + system, from /proc) over the audio time of a stretch after start-up.

usage: bench/wine_program_cost.py [--taps N] [--seconds N]

Run scripts/demo once first (it builds the Windows preset). A benchmark,
not a test."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
from wine_session import ConsoleProgram, Wine  # noqa: E402

BUILD = os.path.join(ROOT, "build", "windows")


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def measure(wine, demo, folder, convolution, args, seconds):
    program = ConsoleProgram(wine, demo, args, cwd=folder, env={
        "TRIVANDEL_STANDIN_INPUT": "tones",
        "TRIVANDEL_STANDIN_OUTPUT": os.path.join(folder, "out.wav"),
        "TRIVANDEL_CONVOLUTION": convolution,
    })
    try:
        if program.wait_for(r">Start the captureing\.", 120) is None:
            sys.exit("the program did not start:\n" + program.text())
        time.sleep(3)  # pre-buffering and the first passes
        start, cpu = time.monotonic(), cpu_seconds(program.proc.pid)
        time.sleep(seconds)
        share = (cpu_seconds(program.proc.pid) - cpu) / (time.monotonic() - start)
        program.ctrl_c()
        program.wait(20)
        return 100 * share
    finally:
        program.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--taps", type=int, default=65536)
    parser.add_argument("--seconds", type=float, default=20)
    args = parser.parse_args()
    demo = os.path.join(BUILD, "demo", "trivandel-demo.exe")
    wine = Wine(os.path.join(BUILD, "wineprefix-demo"))
    wine.start_server()
    folder = tempfile.mkdtemp(prefix="trivandel-cost-")
    try:
        odd = args.taps - 1 if args.taps % 2 == 0 else args.taps
        subprocess.run([sys.executable, os.path.join(ROOT, "scripts", "make_taps.py"), "--taps",
                        str(odd), "--out", folder], check=True, stdout=subprocess.DEVNULL)
        for name in ("FIR_LPF.txt", "FIR_BPF.txt", "FIR_HPF.txt"):
            with open(os.path.join(folder, name), "a") as f:
                f.write("0\n" * (args.taps - odd))
        print("trivandel-demo.exe, %d taps, 48 kHz: %% of one core (CPU time over audio time)"
              % args.taps)
        for label, options in (("default buffer", []), ("-buffer_duration 10",
                                                         ["-buffer_duration", "10"])):
            for convolution in ("direct", "fft"):
                share = measure(wine, demo, folder, convolution, options, args.seconds)
                print("  %-20s %-7s %6.2f %%" % (label, convolution, share), flush=True)
    finally:
        wine.kill_server()
        shutil.rmtree(folder, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
