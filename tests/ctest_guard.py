"""Fails when a CTest entry of this build would run a Linux program under
Wine: Wine starts it and reports exit status 0 whatever it returned, so
such a test could never fail.

usage: ctest_guard.py BUILD_DIR EMULATOR"""

import json
import subprocess
import sys

build, emulator = sys.argv[1:3]
listing = subprocess.run(["ctest", "--show-only=json-v1"], cwd=build, check=True,
                         stdout=subprocess.PIPE).stdout
bad = [t["name"] for t in json.loads(listing)["tests"]
       if t["command"][0] == emulator and not t["command"][2].lower().endswith(".exe")]
for name in bad:
    print("runs a Linux program under Wine, so it cannot fail:", name)
sys.exit(1 if bad else 0)
