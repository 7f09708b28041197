#!/usr/bin/env python3
"""Prints, one per line, the programs of a build folder that its tests with a label run: the
targets to build when only those tests are wanted. Tests run by an interpreter (python3, sh)
count the programs of the build folder among their arguments."""
import json
import os
import subprocess
import sys


def main():
    build, label = sys.argv[1], sys.argv[2]
    listing = subprocess.run(["ctest", "--test-dir", build, "-N", "-L", label,
                              "--show-only=json-v1"], check=True, capture_output=True, text=True)
    root = os.path.realpath(build)
    targets = set()
    for test in json.loads(listing.stdout).get("tests", []):
        for word in test.get("command", []):
            path = os.path.realpath(word)
            if path.startswith(root + os.sep):
                targets.add(os.path.basename(path))
    print("\n".join(sorted(targets)))


if __name__ == "__main__":
    main()
