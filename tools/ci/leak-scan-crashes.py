#!/usr/bin/env python3
"""Names the failed tests of a CTest run that failed only because
LeakSanitizer's own exit-time scan crashed after the test had passed.

LeakSanitizer stops the process with a tracer thread and now and then that
tracer itself dies ("Tracer caught signal 11"), which turns a passed test into
a failed one without any leak or test failure behind it.  This script reads
CTest's LastTest.log and prints those tests' names, one per line, and exits 0
only when every failed test is such a case; any other failure makes it exit 1
so that the failure stands.
"""
import re
import sys

CRASH = "LeakSanitizer has encountered a fatal error"


def test_passed_itself(output):
    # Qt Test's closing line, or GoogleTest's summary without a failed test.
    qt = re.findall(r"^Totals: \d+ passed, (\d+) failed", output, re.M)
    if qt:
        return all(failed == "0" for failed in qt)
    return "[  PASSED  ]" in output and "[  FAILED  ]" not in output


def main(path):
    with open(path, encoding="utf-8", errors="replace") as log:
        text = log.read()
    sections = re.split(r"^\d+/\d+ Testing: ", text, flags=re.M)[1:]
    crashed, other = [], []
    for section in sections:
        name = section.split("\n", 1)[0].strip()
        if "\nTest Failed." not in section and "\nTest Passed." in section:
            continue
        if CRASH in section and test_passed_itself(section):
            crashed.append(name)
        else:
            other.append(name)
    if other or not crashed:
        return 1
    print("\n".join(crashed))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
