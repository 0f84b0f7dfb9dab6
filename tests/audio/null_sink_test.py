#!/usr/bin/env python3
"""trivandel.exe under Wine with PulseAudio null sinks as its endpoints.

usage: null_sink_test.py WINE_RUN WINEPREFIX TRIVANDEL_EXE

Starts a private PulseAudio server with a stereo "Speakers" sink and a
six-channel "Multichannel" sink, points a Wine prefix of its own at it, and
checks the endpoint listing, the choice of the output and the end of the run
at the format refusal (Wine has no exclusive mode). Wine's enumeration order
is not stable, so lines are checked by content, not by position.
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile

WINE_RUN, PREFIX, EXE = sys.argv[1:4]
# Our own prefix: the audio driver setting must not leak into other tests.
PREFIX = PREFIX + "-pulse"
BUILD = os.path.dirname(os.path.abspath(PREFIX))

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message)


def run(args, env, cwd=None, timeout=120):
    result = subprocess.run([WINE_RUN, PREFIX] + args, env=env, cwd=cwd, timeout=timeout,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return result.returncode, result.stdout.decode("utf-8", "replace")


def lines_of(text):
    return text.replace("\r\n", "\n").split("\n")


def listing(lines):
    """The endpoints listed after the enumeration header: (name, id, format)."""
    endpoints = []
    start = lines.index(">Enumerate and decide a output device ----------------")
    for i in range(start + 1, len(lines)):
        if lines[i].startswith(">"):
            break
        if lines[i].startswith("No:") and i + 3 < len(lines):
            name = lines[i + 1].split("= ", 1)[1].strip('"')
            endpoint_id = lines[i + 2].split("= ", 1)[1]
            endpoints.append((name, endpoint_id, lines[i + 3].split("= ", 1)[1]))
    return endpoints


def created_output(lines):
    header = lines.index(">Create a output device ----------------")
    return lines[header + 1].split("= ", 1)[1].strip('"')


def capture_name(lines):
    header = lines.index(">Get a capture device ----------------")
    return lines[header + 1].split("= ", 1)[1].strip('"'), lines[header + 2].split("= ", 1)[1]


def check_refusal_end(lines, status, what):
    check(status == 0, f"{what}: exit status {status}")
    tail = [line for line in lines if line]
    expected = ["ERROR:This format is not supported by endpoint device.",
                "ERROR:Audio device initialization was failed.",
                ">The capture thread has terminated.",
                ">The 'trivandel.exe' was terminated."]
    check(tail[-4:] == expected, f"{what}: the run ends with {tail[-4:]}")


def main():
    runtime = tempfile.mkdtemp(prefix="xdg-", dir=BUILD)
    work = tempfile.mkdtemp(prefix="null-sink-run-", dir=BUILD)
    env = dict(os.environ, XDG_RUNTIME_DIR=runtime, HOME=runtime)
    server_pid = None
    try:
        for name in ("FIR_LPF.txt", "FIR_BPF.txt", "FIR_HPF.txt"):
            with open(os.path.join(work, name), "w") as taps:
                taps.write("0.25\n0.5\n0.25\n")
        subprocess.run(["pulseaudio", "-n", "--daemonize=yes", "--exit-idle-time=-1",
                        "--load=module-native-protocol-unix",
                        "--load=module-null-sink sink_name=stereo "
                        "sink_properties=device.description=Speakers channels=2",
                        "--load=module-null-sink sink_name=six "
                        "sink_properties=device.description=Multichannel channels=6"],
                       env=env, check=True, timeout=30)
        with open(os.path.join(runtime, "pulse", "pid")) as pid_file:
            server_pid = int(pid_file.read().strip())
        status, _ = run(["reg", "add", "HKCU\\Software\\Wine\\Drivers", "/v", "Audio", "/d", "pulse", "/f"], env)
        check(status == 0, "wine reg add")

        # Automatic choice: the six-channel sink.
        status, out = run([EXE], env, cwd=work)
        lines = lines_of(out)
        endpoints = listing(lines)
        names = [name for name, _, _ in endpoints]
        check("Speakers" in names and "Multichannel" in names, f"listing names {names}")
        formats = {name: fmt for name, _, fmt in endpoints}
        check(formats.get("Multichannel", "").endswith(" 6ch"), f"Multichannel format {formats.get('Multichannel')}")
        check(formats.get("Speakers", "").endswith(" 2ch"), f"Speakers format {formats.get('Speakers')}")
        check(created_output(lines) == "Multichannel", "automatic choice: " + created_output(lines))
        check_refusal_end(lines, status, "automatic choice")
        capture, capture_id = capture_name(lines)

        # By friendly name, in other letter case.
        status, out = run([EXE, "-output_device", "mULTICHANNEL"], env, cwd=work)
        lines = lines_of(out)
        check(created_output(lines) == "Multichannel", "choice by name: " + created_output(lines))
        check_refusal_end(lines, status, "choice by name")

        # By id: the stereo sink, which the automatic rule never takes.
        speakers_id = [endpoint_id for name, endpoint_id, _ in endpoints if name == "Speakers"]
        if speakers_id and speakers_id[0] != capture_id:
            status, out = run([EXE, "-output_device", speakers_id[0]], env, cwd=work)
            lines = lines_of(out)
            check(created_output(lines) == "Speakers", "choice by id: " + created_output(lines))
            check_refusal_end(lines, status, "choice by id")
        else:
            check(False, f"no Speakers id apart from the capture endpoint {capture_id}")

        # The capture endpoint named as output.
        status, out = run([EXE, "-output_device", capture_id], env, cwd=work)
        lines = [line for line in lines_of(out) if line]
        check("ERROR:Specified output device is same as capture device.(-output_device option)" in lines,
              "same-as-capture line missing")
        check(lines[-4:] == ["ERROR:Couldn't decide a output device.", "ERROR:Audio device initialization was failed.",
                             ">The capture thread has terminated.", ">The 'trivandel.exe' was terminated."],
              f"capture endpoint as output ends with {lines[-4:]}")
        check(status == 0, f"capture endpoint as output: exit status {status}")
    finally:
        subprocess.run(["pulseaudio", "--kill"], env=env, timeout=30, stderr=subprocess.DEVNULL)
        if server_pid is not None:
            try:
                os.kill(server_pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        shutil.rmtree(work, ignore_errors=True)
        shutil.rmtree(runtime, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
