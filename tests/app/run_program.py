"""Runs a Windows executable of this project under Wine and captures what it
prints, for the tests that check the real program's console lines."""

import os
import subprocess


class WineProgram:
    def __init__(self, wine_run, prefix, exe):
        self.wine_run = wine_run
        self.prefix = prefix
        self.exe = exe

    def run(self, args, cwd, env=None, timeout=60):
        """Returns (exit status, stdout bytes) of one run in `cwd`."""
        run_env = dict(os.environ)
        # No display: the program's hidden window is not needed here.
        run_env.pop("DISPLAY", None)
        if env:
            run_env.update(env)
        proc = subprocess.run(
            [self.wine_run, self.prefix, self.exe, *args],
            cwd=cwd, env=run_env, stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=timeout)
        return proc.returncode, proc.stdout


def lines(text):
    """The program's text as lines: Windows text mode writes "\\r\\n"."""
    return text.split("\r\n")
