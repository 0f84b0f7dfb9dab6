"""The release archive checked as a user would use it: unpacked into an empty
folder whose name holds a space, and each program run from there under Wine
the way README.txt says. The same check must refuse broken copies.

usage: archive_test.py ZIP WINEPREFIX VERSION PROGRAM... -- TEST..."""

import os
import shutil
import sys
import tempfile
import unittest
import zipfile

TESTS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path[:0] = [os.path.join(os.path.dirname(TESTS), "scripts"), TESTS]
from wine_session import Wine  # noqa: E402
from app.usage import USAGE  # noqa: E402

ZIP, PREFIX, VERSION, *REST = sys.argv[1:]
PROGRAMS = REST[:REST.index("--")]
TOP = "trivandel-%s-win64/" % VERSION
CONTENT = sorted([TOP + p + ".exe" for p in PROGRAMS] + [
    TOP + name for name in ("FIR_LPF.txt", "FIR_BPF.txt", "FIR_HPF.txt", "response.svg",
                            "crossover_design.txt", "README.txt", "LICENSE.txt")])


# The programs started by name from their own folder, as from a Command
# Prompt opened there, and what each must print for its exit status.
RUNS = [("trivandel", ["-help"],
         lambda status, out: status == 0 and out == USAGE.replace("\n", "\r\n").encode()),
        ("trivandel-check", [], lambda status, out: status == 0 and b"\r\nNo warnings.\r\n" in out),
        # Its listing, or, where Wine has no sound device, that it found none.
        ("trivandel-probe", [],
         lambda status, out: out.startswith(b"Default render endpoint, captured by loopback:")
         if status == 0 else status == 1 and out.startswith(b"No default render endpoint")),
        # The example design, written over the example taps, and its report.
        ("trivandel-design", ["crossover_design.txt"], lambda status, out: status in (0, 1) and
         b"\r\nDesign crossover_design.txt: linear phase, 4095 taps at 48000 Hz" in out)]


def rewritten(member, change):
    """A breakage that passes one member's data through change, which gives
    the new data, or None to leave the member out."""
    def apply(path):
        with zipfile.ZipFile(path) as old:
            members = [(info, old.read(info)) for info in old.infolist()]
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as new:
            for info, data in members:
                data = change(data) if info.filename == TOP + member else data
                if data is not None:
                    new.writestr(info, data)
    return apply


def added_dll(path):
    with zipfile.ZipFile(path, "a") as z:
        z.writestr(TOP + "libstdc++-6.dll", b"MZ")


BREAKAGES = [
    ("a tap file left out", rewritten("FIR_HPF.txt", lambda data: None)),
    ("a tap file one line short",
     rewritten("FIR_BPF.txt", lambda data: data[:data.rstrip(b"\r\n").rfind(b"\n") + 1])),
    ("a DLL beside the programs", added_dll),
    ("cut short", lambda path: os.truncate(path, os.path.getsize(path) // 2)),
]


class ArchiveTest(unittest.TestCase):
    def check_as_user(self, archive):
        with tempfile.TemporaryDirectory() as scratch:
            unpacked = os.path.join(scratch, "My Crossover")
            os.mkdir(unpacked)
            with zipfile.ZipFile(archive) as z:
                self.assertEqual(sorted(z.namelist()), CONTENT)
                z.extractall(unpacked)
            folder = os.path.join(unpacked, TOP)
            for program in PROGRAMS:
                with open(os.path.join(folder, program + ".exe"), "rb") as exe:
                    self.assertTrue(VERSION.encode("utf-16-le") in exe.read(),
                                    program + ".exe has no version resource of " + VERSION)
            for program, args, expected in (run for run in RUNS if run[0] in PROGRAMS):
                status, out = Wine(PREFIX).run(program + ".exe", args, cwd=folder)
                print("> %s.exe %s  (exit status %d)" % (program, " ".join(args), status),
                      out.decode(errors="replace").replace("\r\n", "\n"), sep="\n", flush=True)
                self.assertTrue(expected(status, out), program)

    def test_user_check(self):
        self.check_as_user(ZIP)

    def test_broken_archives(self):
        for name, breakage in BREAKAGES:
            with self.subTest(name), tempfile.TemporaryDirectory() as scratch:
                broken = shutil.copy(ZIP, os.path.join(scratch, "broken.zip"))
                breakage(broken)
                with self.assertRaises((AssertionError, zipfile.BadZipFile)):
                    self.check_as_user(broken)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + REST[REST.index("--") + 1:], verbosity=2)
