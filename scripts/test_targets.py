#!/usr/bin/env python3
"""Prints, one per line, the targets of a configured build folder that its tests with a label
need: the targets to build when only those tests are wanted. A suite's test is named after its
program (a sharded suite's tests add _<n>of<m>); a test run by an interpreter (python3) counts the
build folder's programs among its arguments."""
import json
import os
import re
import subprocess
import sys


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def main():
    build, label = sys.argv[1], sys.argv[2]
    # The Makefile generator lists its targets as "... name".
    known = set(re.findall(r"^\.\.\. (\S+)", run("cmake", "--build", build, "--target", "help"),
                           re.M))
    listing = json.loads(run("ctest", "--test-dir", build, "-N", "-L", label,
                             "--show-only=json-v1"))
    root = os.path.realpath(build)
    targets = set()
    for test in listing.get("tests", []):
        name = re.sub(r"_\d+of\d+$", "", test["name"])
        if name in known:
            targets.add(name)
        for word in test.get("command") or []:
            path = os.path.realpath(word)
            if path.startswith(root + os.sep) and os.path.basename(path) in known:
                targets.add(os.path.basename(path))
    if not targets:
        sys.exit(f"no test labelled {label} in {build}")
    print("\n".join(sorted(targets)))


if __name__ == "__main__":
    main()
