"""Levels of given tones on each channel of a WAVE file written by
trivandel-demo.exe (integer PCM, any channel count), stdlib only.

usage: band_levels.py FILE.wav [HZ ...]   (default 100 1000 8000)"""

import math
import struct
import sys

DEFAULT_TONES = (100.0, 1000.0, 8000.0)


def read_pcm(path):
    """(rate, channels, frames as lists of floats per channel) of a plain or
    extensible integer PCM WAVE file."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError(path + " is not a RIFF WAVE file")
    pos, fmt, samples = 12, None, None
    while pos + 8 <= len(data):
        chunk, size = data[pos:pos + 4], struct.unpack_from("<I", data, pos + 4)[0]
        body = data[pos + 8:pos + 8 + size]
        if chunk == b"fmt ":
            fmt = struct.unpack_from("<HHIIHH", body)
        elif chunk == b"data":
            samples = body
        pos += 8 + size + (size & 1)
    if fmt is None or samples is None:
        raise ValueError(path + " has no fmt or data chunk")
    tag, channels, rate, _, block_align, bits = fmt
    if tag not in (1, 0xFFFE) or bits not in (16, 24, 32):
        raise ValueError(path + ": only 16/24/32-bit integer PCM is read")
    width = bits // 8
    frames = len(samples) // block_align
    scale = float(1 << (bits - 1))
    columns = [[0.0] * frames for _ in range(channels)]
    for i in range(frames):
        base = i * block_align
        for c in range(channels):
            at = base + c * width
            value = int.from_bytes(samples[at:at + width], "little", signed=True)
            columns[c][i] = value / scale
    return rate, channels, columns


def tone_amplitude(signal, rate, hz):
    """Amplitude (full scale = 1) of one sine by the Goertzel recurrence."""
    n = len(signal)
    coeff = 2.0 * math.cos(2.0 * math.pi * hz / rate)
    s1 = s2 = 0.0
    for x in signal:
        s1, s2 = x + coeff * s1 - s2, s1
    power = s1 * s1 + s2 * s2 - coeff * s1 * s2
    return 2.0 * math.sqrt(max(power, 0.0)) / n


def steady_window(columns, rate):
    """The analysed stretch: from 0.3 s after the first non-zero frame, a
    whole number of tenths of a second (so 100 Hz, 1 kHz and 8 kHz fall on
    exact bins), at most one second, ending before the last non-zero frame."""
    frames = len(columns[0])
    active = [i for i in range(frames) if any(col[i] != 0.0 for col in columns)]
    if not active:
        return None
    first, last = active[0] + int(0.3 * rate), active[-1]
    tenth = rate // 10
    length = min((last - first) // tenth, 10) * tenth
    if length <= 0:
        return None
    return first, first + length


def db(amplitude):
    return 20.0 * math.log10(amplitude) if amplitude > 1e-9 else -180.0


def levels(path, tones=DEFAULT_TONES):
    """{channel: [dBFS per tone]} and the window (start, end) in seconds."""
    rate, channels, columns = read_pcm(path)
    window = steady_window(columns, rate)
    if window is None:
        return None, None
    start, end = window
    table = {c: [db(tone_amplitude(columns[c][start:end], rate, hz)) for hz in tones]
             for c in range(channels)}
    return table, (start / rate, end / rate)


CHANNEL_NAMES = ("mid L", "mid R", "low L", "low R", "high L", "high R")


def report(path, tones=DEFAULT_TONES):
    table, window = levels(path, tones)
    if table is None:
        return "no filtered sound in " + path + "\n"
    out = ["Tone levels on each output channel, dBFS (%.1f s to %.1f s of the output file):"
           % window]
    out.append("  channel   " + "".join("%10s" % ("%g Hz" % hz) for hz in tones))
    for c, values in table.items():
        name = CHANNEL_NAMES[c] if c < len(CHANNEL_NAMES) else ""
        out.append("  %d %-7s " % (c, name) + "".join("%10.1f" % v for v in values))
    return "\n".join(out) + "\n"


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    hz = tuple(float(a) for a in sys.argv[2:]) or DEFAULT_TONES
    sys.stdout.write(report(sys.argv[1], hz))
