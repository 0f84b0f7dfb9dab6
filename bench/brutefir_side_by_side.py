#!/usr/bin/env python3
"""trivandel-check -render -convolution fft against BruteFIR, side by side.

Renders the same 60-second stereo file (48 kHz, 32-bit float: noise and a
sweep) through the same three filters (the example crossover of
scripts/make_taps.py at 16384, 65536 and 262144 taps) with
`trivandel-check -render -convolution fft` and with BruteFIR (Debian's
brutefir package: six filters, left and right through each band, float in
and out), and prints the CPU time of each (perf stat's task-clock: BruteFIR
runs in several processes) and the ratio. BruteFIR runs with each
partitioning of the filter into blocks of 1024 to 65536 frames, its FFTW
plans made in a run before the timed one; the fastest counts.

usage: bench/brutefir_side_by_side.py [--check PATH] [--seconds N] [--lengths N,N,..]

A benchmark, not a test. Needs perf (linux-perf) and brutefir."""

import argparse
import array
import math
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RATE = 48000


def write_input(folder, seconds):
    """The stereo file as a float WAVE file and as raw floats."""
    rng = random.Random(1)
    frames = RATE * seconds
    samples = array.array("f")
    phase = 0.0
    for i in range(frames):
        # A sweep from 20 Hz to 20 kHz on the right, noise on the left.
        phase += 2 * math.pi * 20 * 1000 ** (i / frames) / RATE
        samples.append(0.25 * rng.uniform(-1, 1))
        samples.append(0.25 * math.sin(phase))
    data = samples.tobytes()
    raw = os.path.join(folder, "in.raw")
    with open(raw, "wb") as f:
        f.write(data)
    wav = os.path.join(folder, "in.wav")
    with open(wav, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVEfmt ")
        f.write(struct.pack("<IHHIIHH", 16, 3, 2, RATE, RATE * 8, 8, 32))
        f.write(b"data" + struct.pack("<I", len(data)) + data)
    return wav, raw


def write_taps(folder, taps):
    """The three tap files for trivandel-check, raw floats for BruteFIR."""
    os.makedirs(folder)
    odd = taps - 1 if taps % 2 == 0 else taps
    subprocess.run([sys.executable, os.path.join(ROOT, "scripts", "make_taps.py"), "--taps",
                    str(odd), "--out", folder], check=True, stdout=subprocess.DEVNULL)
    raws = []
    for name in ("FIR_LPF.txt", "FIR_BPF.txt", "FIR_HPF.txt"):
        path = os.path.join(folder, name)
        with open(path) as f:
            values = [float(line) for line in f if line.strip()]
        values += [0.0] * (taps - len(values))  # an even length: one silent tap more
        with open(path, "w") as f:
            f.write("\n".join(repr(v) for v in values) + "\n")
        raw = path[:-4] + ".raw"
        with open(raw, "wb") as f:
            f.write(array.array("f", values).tobytes())
        raws.append(raw)
    return raws


def cpu_seconds(command, env=None):
    """CPU time of a command and every process it starts."""
    fd, stat = tempfile.mkstemp(suffix=".perf")
    os.close(fd)
    try:
        subprocess.run(["perf", "stat", "-x,", "-e", "task-clock", "-o", stat] + command,
                       check=True, env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        with open(stat) as f:
            for line in f:
                fields = line.split(",")
                if len(fields) > 2 and fields[2] == "task-clock":
                    return float(fields[0]) / 1000.0
    finally:
        os.remove(stat)
    raise RuntimeError("perf stat gave no task-clock")


def brutefir_config(folder, raws, taps, block, raw_in, raw_out):
    path = os.path.join(folder, "brutefir_%d.conf" % block)
    lines = [
        'float_bits: 32; sampling_rate: %d; filter_length: %d,%d;' % (RATE, block, taps // block),
        'modules_path: "/usr/lib/brutefir"; overflow_warnings: false; show_progress: false;',
        'lock_memory: false; powersave: false; monitor_rate: false;',
        'convolver_config: "%s";' % os.path.join(folder, "wisdom"),
    ]
    for band, raw in enumerate(raws):
        lines.append('coeff %d { filename: "%s"; format: "FLOAT_LE"; };' % (band, raw))
    lines.append('input "l", "r" { device: "file" { path: "%s"; }; sample: "FLOAT_LE"; '
                 'channels: 2; };' % raw_in)
    lines.append('output 0, 1, 2, 3, 4, 5 { device: "file" { path: "%s"; }; '
                 'sample: "FLOAT_LE"; channels: 6; dither: false; };' % raw_out)
    for out in range(6):
        lines.append('filter %d { from_inputs: "%s"; to_outputs: %d; coeff: %d; };'
                     % (out, "lr"[out % 2], out, out // 2))
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")
    return path


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", default=os.path.join(ROOT, "build", "native", "check",
                                                        "trivandel-check"))
    parser.add_argument("--seconds", type=int, default=60)
    parser.add_argument("--lengths", default="16384,65536,262144")
    args = parser.parse_args()
    for tool in ("perf", "brutefir", args.check):
        if shutil.which(tool) is None:
            sys.exit("%s is missing" % tool)
    work = tempfile.mkdtemp(prefix="trivandel-brutefir-")
    try:
        env = dict(os.environ, HOME=work)  # BruteFIR writes its defaults there
        wav, raw = write_input(work, args.seconds)
        out_raw = os.path.join(work, "out.raw")
        out_wav = os.path.join(work, "out.wav")
        short = os.path.join(work, "short.raw")
        with open(raw, "rb") as f:
            open(short, "wb").write(f.read(RATE * 8))
        print("%d s of stereo at %d Hz through three filters, CPU seconds:" % (args.seconds, RATE))
        print("%8s %12s %12s %18s %8s" % ("taps", "trivandel", "BruteFIR", "(best block)", "ratio"))
        for taps in (int(t) for t in args.lengths.split(",")):
            folder = os.path.join(work, "taps%d" % taps)
            raws = write_taps(folder, taps)
            ours = cpu_seconds([args.check, folder, "-render", wav, out_wav,
                                "-convolution", "fft"])
            best = None
            block = 1024
            while block <= min(taps, 65536):
                config = brutefir_config(work, raws, taps, block, short, out_raw)
                subprocess.run(["brutefir", config], env=env, check=True,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                config = brutefir_config(work, raws, taps, block, raw, out_raw)
                seconds = cpu_seconds(["brutefir", config], env=env)
                if best is None or seconds < best[0]:
                    best = (seconds, block)
                block *= 4
            print("%8d %12.2f %12.2f %18s %8.2f" % (taps, ours, best[0], "(%d x %d)" % (
                best[1], taps // best[1]), best[0] / ours), flush=True)
        print("ratio: BruteFIR's CPU time over trivandel-check's (its throughput over BruteFIR's)")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
