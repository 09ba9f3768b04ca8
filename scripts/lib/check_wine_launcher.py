"""Stops the suite before the Windows tests run through anything but our launcher.

    python3 check_wine_launcher.py TREE

Reads the tests of the build tree TREE (`ctest --show-only=json-v1`). Every test
labelled "win" must start its program through scripts/lib/wine-run, and no test may
name a Wine loader or server of its own (Debian's `wine`, a path of /usr/lib/wine,
one looked up when the tree was configured). Then it asks the launcher for Wine's
version, which fails with the launcher's own line when the loader is missing.
Prints one line and exits 1 on the first fault; silent and 0 otherwise.
"""

import json
import os
import subprocess
import sys

LAUNCHER = os.path.join(os.path.dirname(os.path.realpath(__file__)), "wine-run")
WINE_NAMES = {"wine", "wine64", "wine-stable", "wine64-stable", "wineserver", "wineserver64", "wineserver32"}


def fault(tree):
    listing = subprocess.run(["ctest", "--test-dir", tree, "--show-only=json-v1"],
                             capture_output=True, text=True, check=False)
    if listing.returncode != 0:
        return f"ctest could not list the tests of {tree}: {listing.stderr.strip()}"
    tests = json.loads(listing.stdout).get("tests", [])
    if not tests:
        return f"{tree} has no tests: it was not configured"
    for test in tests:
        command = test.get("command", [])
        labels = next((p["value"] for p in test.get("properties", []) if p["name"] == "LABELS"), [])
        for word in command:
            if os.path.basename(word) in WINE_NAMES or word.startswith("/usr/lib/wine/"):
                return f"{test['name']} runs through {word}, not {LAUNCHER}: configure {tree} afresh"
        if "win" in labels and not command:
            return f"{test['name']} runs through a program that is not there (not {LAUNCHER}): configure {tree} afresh"
        if "win" in labels and LAUNCHER not in (os.path.realpath(word) for word in command):
            return f"{test['name']} runs through {command[0]}, not {LAUNCHER}: configure {tree} afresh"
    loader = subprocess.run([LAUNCHER, "--version"], capture_output=True, text=True, check=False)
    if loader.returncode != 0:
        return loader.stderr.strip() or f"{LAUNCHER} --version failed ({loader.returncode})"
    return None


def main():
    if len(sys.argv) != 2:
        print("usage: check_wine_launcher.py TREE", file=sys.stderr)
        return 2
    message = fault(sys.argv[1])
    if message:
        print(message, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
