#!/usr/bin/env python3
"""Writes the example crossover taps: taps/FIR_LPF.txt, FIR_BPF.txt, FIR_HPF.txt.

A linear-phase three-way crossover for 48 kHz: Blackman-windowed sinc
low-passes at 300 Hz and 3 kHz, 1023 taps each (odd, so the centre tap is
the group delay of 511 frames, the frame the bypass plays).
  LPF = lowpass(300 Hz)
  BPF = lowpass(3 kHz) - lowpass(300 Hz)
  HPF = delta - lowpass(3 kHz)
The three bands add up to a pure delay. Each low-pass is normalised to a
DC gain of exactly 1. Standard library only.

Usage: python3 scripts/make_taps.py [--taps N] [--rate HZ] [--low HZ]
                                    [--high HZ] [--out DIR]
"""
import argparse
import math
import os


def blackman(n, length):
    x = 2.0 * math.pi * n / (length - 1)
    return 0.42 - 0.5 * math.cos(x) + 0.08 * math.cos(2.0 * x)


def lowpass(cutoff, rate, length):
    centre = (length - 1) // 2
    fc = cutoff / rate
    taps = []
    for n in range(length):
        m = n - centre
        ideal = 2.0 * fc if m == 0 else math.sin(2.0 * math.pi * fc * m) / (math.pi * m)
        taps.append(ideal * blackman(n, length))
    gain = math.fsum(taps)
    return [t / gain for t in taps]


def write(path, taps):
    with open(path, "w", newline="\n") as f:
        for t in taps:
            f.write("%.9e\n" % t)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--taps", type=int, default=1023)
    parser.add_argument("--rate", type=float, default=48000.0)
    parser.add_argument("--low", type=float, default=300.0)
    parser.add_argument("--high", type=float, default=3000.0)
    parser.add_argument("--out", default=os.path.join(os.path.dirname(__file__), "..", "taps"))
    args = parser.parse_args()
    if args.taps < 3 or args.taps % 2 == 0:
        parser.error("--taps must be odd and at least 3")

    low = lowpass(args.low, args.rate, args.taps)
    high = lowpass(args.high, args.rate, args.taps)
    centre = (args.taps - 1) // 2
    band = [h - l for h, l in zip(high, low)]
    hpf = [(1.0 if n == centre else 0.0) - h for n, h in enumerate(high)]

    os.makedirs(args.out, exist_ok=True)
    write(os.path.join(args.out, "FIR_LPF.txt"), low)
    write(os.path.join(args.out, "FIR_BPF.txt"), band)
    write(os.path.join(args.out, "FIR_HPF.txt"), hpf)


if __name__ == "__main__":
    main()
