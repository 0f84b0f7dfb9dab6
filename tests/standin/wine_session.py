"""Runs trivandel_standin.exe and its helper programs under Wine, the way a
user would: on a pseudo-terminal (Ctrl+C reaches a Windows console program
only as SIGINT from its controlling terminal), beside an Xvfb display (Wine
creates no window without one), all in one Wine prefix so that windows and
processes are visible to each other.

Used by the scenario tests and by scripts/demo."""

import fcntl
import os
import re
import select
import shutil
import signal
import subprocess
import tempfile
import termios
import threading
import time

TIME_RE = r"\d\d:\d\d:\d\d\.\d\d\d"


class Xvfb:
    """A private X display; Xvfb picks a free display number itself."""

    def __init__(self):
        self.proc = None
        self.display = None

    def start(self, timeout=10):
        read_fd, write_fd = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-nolisten", "tcp", "-screen", "0", "640x480x24"],
            pass_fds=[write_fd], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        number = b""
        deadline = time.monotonic() + timeout
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_fd], [], [], 0.2)
            if ready:
                chunk = os.read(read_fd, 16)
                if not chunk:
                    break
                number += chunk
        os.close(read_fd)
        if not number.strip():
            self.stop()
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number.decode().strip()
        return self.display

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc = None


class Wine:
    """One Wine prefix and the environment every program in it runs with."""

    def __init__(self, prefix, display=None):
        self.prefix = prefix
        self.env = dict(os.environ)
        self.env.update(WINEPREFIX=prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.env.pop("DISPLAY", None)
        if display:
            self.env["DISPLAY"] = display

    def start_server(self, timeout=120):
        """Starts this prefix's wineserver and boots the prefix (created on
        first use), outside any program's terminal session: a SIGINT sent to
        a program's process group must not reach the server or the desktop
        process."""
        subprocess.run(["wineserver", "-p"], env=self.env, timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wine", "wineboot"], env=self.env, timeout=timeout,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def run(self, exe, args=(), cwd=None, timeout=60):
        """Runs a helper program to its end; returns (status, stdout text)."""
        proc = subprocess.run(["wine", exe, *args], cwd=cwd, env=self.env,
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=timeout)
        return proc.returncode, proc.stdout.decode(errors="replace")

    def start(self, exe, args=(), cwd=None):
        """Starts a helper program in the background; returns its Popen."""
        return subprocess.Popen(["wine", exe, *args], cwd=cwd, env=self.env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL)

    def kill_server(self):
        """Ends every process of this prefix and its wineserver."""
        subprocess.run(["wineserver", "-k"], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class ConsoleProgram:
    """A Windows console program whose controlling terminal is a pty.

    Its stdin is the pty, so that writing ^C to the master makes the tty
    driver send SIGINT, which Wine turns into CTRL_C_EVENT. Its stdout is a
    pipe, so that the text arrives as the program wrote it (Windows text
    mode: "\\r\\n"), without the escape sequences Wine's console adds on a
    terminal."""

    def __init__(self, wine, exe, args=(), cwd=None, env=None):
        self.master, slave = os.openpty()
        # No echo of the ^C into the pty; the tty still turns it into SIGINT.
        attrs = termios.tcgetattr(slave)
        attrs[3] &= ~termios.ECHO
        termios.tcsetattr(slave, termios.TCSANOW, attrs)
        out_read, out_write = os.pipe()
        run_env = dict(wine.env)
        if env:
            run_env.update(env)

        def make_controlling_tty():
            fcntl.ioctl(0, termios.TIOCSCTTY, 0)

        self._stderr = tempfile.TemporaryFile()
        self.proc = subprocess.Popen(
            ["wine", exe, *args], cwd=cwd, env=run_env, stdin=slave, stdout=out_write,
            stderr=self._stderr, start_new_session=True, preexec_fn=make_controlling_tty)
        os.close(slave)
        os.close(out_write)
        self._out = out_read
        self._text = b""
        self._lock = threading.Condition()
        self._eof = False
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        while True:
            try:
                chunk = os.read(self._out, 4096)
            except OSError:
                chunk = b""
            with self._lock:
                if not chunk:
                    self._eof = True
                    self._lock.notify_all()
                    return
                self._text += chunk
                self._lock.notify_all()

    @property
    def text(self):
        with self._lock:
            return self._text.decode(errors="replace")

    def lines(self):
        """Complete lines so far, without their "\\r\\n"."""
        text = self.text
        return text.split("\r\n")[:-1]

    def wait_for(self, pattern, timeout, start=0):
        """Waits until a complete line from index `start` on matches the
        regular expression; returns its index, or None on time-out."""
        regex = re.compile(pattern)
        deadline = time.monotonic() + timeout
        with self._lock:
            while True:
                lines = self._text.decode(errors="replace").split("\r\n")[:-1]
                for i in range(start, len(lines)):
                    if regex.fullmatch(lines[i]):
                        return i
                remaining = deadline - time.monotonic()
                if remaining <= 0 or self._eof:
                    return None
                self._lock.wait(min(remaining, 0.2))

    def ctrl_c(self):
        os.write(self.master, b"\x03")

    def wait(self, timeout):
        """Exit status, or None when the program is still running."""
        try:
            status = self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            return None
        # The pipe may stay open after the exit (Wine's own processes can
        # inherit it), so do not wait for its end: wait until it goes quiet.
        self._settle()
        return status

    def _settle(self, quiet=0.3, limit=2.0):
        deadline = time.monotonic() + limit
        with self._lock:
            size = len(self._text)
            while not self._eof and time.monotonic() < deadline:
                self._lock.wait(quiet)
                if len(self._text) == size:
                    return
                size = len(self._text)

    def stderr_text(self):
        """What the program (and Wine) wrote on stderr so far."""
        self._stderr.seek(0)
        return self._stderr.read().decode(errors="replace")

    def close(self):
        """Kills the program if it still runs. The output pipe is left to the
        reader thread, which ends with the pipe."""
        if self.proc.poll() is None:
            try:
                os.killpg(self.proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.proc.wait()
        os.close(self.master)
        self._stderr.close()


def copy_as(source, folder, name):
    """A copy of a helper program under the executable name a test needs."""
    target = os.path.join(folder, name)
    shutil.copyfile(source, target)
    return target
