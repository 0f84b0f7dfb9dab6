"""Runs Windows programs under Wine the way a user would, for every test
that runs one and for scripts/demo: all in one prefix (so that windows and
processes see each other), a console program on a pseudo-terminal (Ctrl+C
reaches it only as SIGINT from its controlling terminal). A display, where
one is needed, comes from running the caller under xvfb-run."""

import contextlib
import fcntl
import os
import re
import signal
import subprocess
import tempfile
import termios
import threading
import time

TIME_RE = r"\d\d:\d\d:\d\d\.\d\d\d"


class Wine:
    """One Wine prefix and the environment every program in it runs with."""

    def __init__(self, prefix):
        self.env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")

    def start_server(self):
        """Boots the prefix (created on first use) outside any program's
        terminal session: a SIGINT sent to a program's process group must not
        reach the wineserver or the desktop process."""
        for args in (["wineserver", "-p"], ["wine", "wineboot"]):
            subprocess.run(args, env=self.env, timeout=120, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run(self, exe, args=(), cwd=None, env=None):
        """Runs a program to its end; returns (exit status, stdout bytes)."""
        proc = subprocess.run(["wine", exe, *args], cwd=cwd, env=dict(self.env, **(env or {})),
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, timeout=120)
        return proc.returncode, proc.stdout

    def start(self, exe, args=()):
        """Starts a helper program in the background, its standard input a
        pipe for the caller to close; returns its Popen."""
        return subprocess.Popen(["wine", exe, *args], env=self.env, stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def kill_server(self):
        """Ends every process of this prefix and its wineserver."""
        for args in (["wineserver", "-k"], ["wineserver", "-w"]):
            subprocess.run(args, env=self.env, timeout=30, stderr=subprocess.DEVNULL)


class ConsoleProgram:
    """A Windows console program whose controlling terminal is a pty (its
    stdin, so that ^C written to the master becomes SIGINT and Wine's
    CTRL_C_EVENT) and whose stdout is a pipe (so that the text arrives as
    written, "\\r\\n" and all, without the escapes Wine's console adds)."""

    def __init__(self, wine, exe, args=(), cwd=None, env=None):
        self.master, slave = os.openpty()
        attrs = termios.tcgetattr(slave)
        attrs[3] &= ~termios.ECHO  # the tty still turns ^C into SIGINT
        termios.tcsetattr(slave, termios.TCSANOW, attrs)
        out_read, out_write = os.pipe()
        self._stderr = tempfile.TemporaryFile()
        self.proc = subprocess.Popen(
            ["wine", exe, *args], cwd=cwd, env=dict(wine.env, **(env or {})), stdin=slave,
            stdout=out_write, stderr=self._stderr, start_new_session=True,
            preexec_fn=lambda: fcntl.ioctl(0, termios.TIOCSCTTY, 0))
        os.close(slave)
        os.close(out_write)
        self._text = b""
        self._eof = False
        self._lock = threading.Condition()
        threading.Thread(target=self._read, args=(out_read,), daemon=True).start()

    def _read(self, fd):
        while True:
            try:
                chunk = os.read(fd, 4096)
            except OSError:
                chunk = b""
            with self._lock:
                self._eof = not chunk
                self._text += chunk
                self._lock.notify_all()
                if self._eof:
                    return

    @property
    def text(self):
        with self._lock:
            return self._text.decode(errors="replace")

    def lines(self):
        """Complete lines so far, without their "\\r\\n"."""
        return self.text.split("\r\n")[:-1]

    def wait_for(self, pattern, timeout, start=0):
        """Index of the first complete line from `start` on that matches the
        regular expression, or None after `timeout` seconds."""
        regex = re.compile(pattern)
        deadline = time.monotonic() + timeout
        with self._lock:
            while True:
                lines = self._text.decode(errors="replace").split("\r\n")[:-1]
                found = [i for i in range(start, len(lines)) if regex.fullmatch(lines[i])]
                remaining = deadline - time.monotonic()
                if found or remaining <= 0 or self._eof:
                    return found[0] if found else None
                self._lock.wait(min(remaining, 0.2))

    def ctrl_c(self):
        os.write(self.master, b"\x03")

    def wait(self, timeout):
        """Exit status, or None while the program still runs. The pipe may
        stay open after the exit (Wine's own processes inherit it), so this
        waits only until the output goes quiet."""
        try:
            status = self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            return None
        with self._lock:
            size = -1
            while len(self._text) != size and not self._eof:
                size = len(self._text)
                self._lock.wait(0.3)
        return status

    def stderr_text(self):
        # pread: the program writes through the same file offset.
        fd = self._stderr.fileno()
        return os.pread(fd, os.fstat(fd).st_size, 0).decode(errors="replace")

    def close(self):
        """Kills the program if it still runs."""
        if self.proc.poll() is None:
            with contextlib.suppress(ProcessLookupError):
                os.killpg(self.proc.pid, signal.SIGKILL)
            self.proc.wait()
        os.close(self.master)
        self._stderr.close()
