#!/usr/bin/env python3
"""The whole program's share of one core under Wine, per convolution.

Runs trivandel-demo.exe (the whole program on stand-in endpoints, 48 kHz,
paced in real time) on the three tones through the example crossover at
65536 taps, with TRIVANDEL_CONVOLUTION=direct and =fft, at the default
buffer and at -buffer_duration 10, and prints the process's CPU time
(user + system, from /proc) over the audio time of a stretch after start-up.
Beside it, the same for the program's own threads: all but the stand-in
device's clock thread ("standin-clock" in /proc/PID/task/*/comm), which
stands for what a driver does on real hardware. The capture thread's share
still holds the stand-ins' work inside its calls, such as the tone source.
A row ends in "resampling" when the program found the two clocks apart,
which costs the resampler, and counts the warnings it printed in the run
(a store run dry or full, as when the stand-in's clock comes late), which
cost console output and a refill.

The stand-in records no output file unless --record is given: nobody reads
it here, and writing 864 kB a second costs the kernel's page cache about
half a percent of a core at 10 ms buffers, on the capture thread (it
writes each buffer as the program releases it).

usage: bench/wine_program_cost.py [--taps N] [--seconds N] [--record] [--demo NAME=EXE ...]

Run scripts/demo once first (it builds the Windows preset). --demo, given
more than once, measures each build in turn for every case, side by side
in one run (default: this tree's build/windows/demo/trivandel-demo.exe).
A benchmark, not a test."""

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
CLOCK_THREAD = "standin-clock"  # the name simulated_devices gives its clock thread


def cpu_seconds(stat_path):
    """User + system time of a process or thread, from its stat file."""
    with open(stat_path) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def cpu_times(pid):
    """The process's CPU seconds and those of its threads other than the
    stand-in's clock; the second is None while no clock thread is seen."""
    whole, own, clock_seen = cpu_seconds("/proc/%d/stat" % pid), 0.0, False
    for task in os.listdir("/proc/%d/task" % pid):
        folder = "/proc/%d/task/%s/" % (pid, task)
        try:
            with open(folder + "comm") as f:
                clock = f.read().strip() == CLOCK_THREAD
            seconds = cpu_seconds(folder + "stat")
        except OSError:  # the thread ended meanwhile
            continue
        clock_seen = clock_seen or clock
        own += 0.0 if clock else seconds
    return whole, own if clock_seen else None


def measure(wine, demo, folder, convolution, args, seconds, record):
    """Shares of one core in % (the whole process, its own threads), whether
    it resampled and how many warnings it printed."""
    env = {"TRIVANDEL_STANDIN_INPUT": "tones", "TRIVANDEL_CONVOLUTION": convolution}
    if record:
        env["TRIVANDEL_STANDIN_OUTPUT"] = os.path.join(folder, "out.wav")
    program = ConsoleProgram(wine, demo, args, cwd=folder, env=env)
    try:
        if program.wait_for(r">Start the captureing\.", 120) is None:
            sys.exit("the program did not start:\n" + program.text)
        time.sleep(3)  # pre-buffering and the first passes
        start, before = time.monotonic(), cpu_times(program.proc.pid)
        time.sleep(seconds)
        after = cpu_times(program.proc.pid)
        elapsed = time.monotonic() - start
        program.ctrl_c()
        program.wait(20)
        # A thread that starts during the stretch counts whole, one that
        # ends in it not at all; in a steady run neither happens.
        own = None if None in (before[1], after[1]) else 100 * (after[1] - before[1]) / elapsed
        return (100 * (after[0] - before[0]) / elapsed, own,
                ">The clocks differ" in program.text, program.text.count("WARNING:"))
    finally:
        program.close()


def demos(given):
    """(name, path) of each --demo NAME=EXE, or this tree's build."""
    if not given:
        return [("", os.path.join(BUILD, "demo", "trivandel-demo.exe"))]
    pairs = [item.split("=", 1) for item in given]
    if any(len(pair) != 2 for pair in pairs):
        sys.exit("--demo takes NAME=EXE")
    return [(name, os.path.abspath(path)) for name, path in pairs]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--taps", type=int, default=65536)
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--record", action="store_true", help="the stand-in writes out.wav")
    parser.add_argument("--demo", action="append", metavar="NAME=EXE")
    args = parser.parse_args()
    builds = demos(args.demo)
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
        print("trivandel-demo.exe, %d taps, 48 kHz%s: %% of one core (CPU time over audio time)"
              % (args.taps, ", output recorded" if args.record else ""))
        print("  %-20s %-7s %-8s %13s %s" % ("", "", "", "whole process",
                                             "  the program's threads (no device clock)"))
        for label, options in (("default buffer", []), ("-buffer_duration 10",
                                                         ["-buffer_duration", "10"])):
            for convolution in ("direct", "fft"):
                for name, demo in builds:
                    whole, own, resampled, warnings = measure(wine, demo, folder, convolution,
                                                              options, args.seconds, args.record)
                    own_text = "no clock thread" if own is None else "%6.2f %%" % own
                    print("  %-20s %-7s %-8s %11.2f %%   %s%s%s" % (
                        label, convolution, name, whole, own_text,
                        "   resampling" if resampled else "",
                        "   %d warnings" % warnings if warnings else ""), flush=True)
    finally:
        wine.kill_server()
        shutil.rmtree(folder, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
