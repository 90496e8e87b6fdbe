#!/usr/bin/python3
"""The summary of ./run-tests (scripts/stages.sh), from the results each
stage left in its folder:

  ctest*.xml      CTest's JUnit (ctest --output-junit): one case per entry
  pytest/NAME.xml pytest's JUnit (tests/conftest.py); NAME is the CTest
                  entry that ran it, whose cases count in its place
  *.xml           any other JUnit, such as the fuzz runs' (scripts/fuzz.sh)
  versions        "package version" lines of what was fetched from Debian

Usage: stage_summary.py STAGES, a file of "name<TAB>result<TAB>seconds<TAB>
folder" lines. Prints a line per stage with its counts of test cases (and
what it fetched, beneath), the failed cases, the skipped ones' reasons,
then the totals last; exits 1 when a stage failed.
"""

import sys
import textwrap
import xml.etree.ElementTree as ElementTree
from collections import Counter
from pathlib import Path

MOST_FAILURES_SHOWN = 20


class Counts:
    def __init__(self):
        self.passed = 0
        self.failed = []                # names
        self.skipped = Counter()        # reason -> cases

    def add(self, other):
        self.passed += other.passed
        self.failed += other.failed
        self.skipped.update(other.skipped)

    def text(self):
        return (f"{self.passed} passed, {len(self.failed)} failed, "
                f"{sum(self.skipped.values())} skipped")


def pytest_counts(path):
    """The cases of a JUnit file as pytest or scripts/fuzz.sh write it."""
    counts = Counts()
    for case in ElementTree.parse(path).iter("testcase"):
        name = f"{case.get('classname')}.{case.get('name')}"
        skipped = case.find("skipped")
        if case.find("failure") is not None or case.find("error") is not None:
            counts.failed.append(name)
        elif skipped is not None:
            counts.skipped[skipped.get("message") or "no reason given"] += 1
        else:
            counts.passed += 1
    return counts


def ctest_counts(path, pytest_results):
    """CTest's entries, each replaced by the cases of its pytest run where
    it left one. An entry that failed counts as a failure even when its
    cases did not say so (a crash, a timeout, a sanitizer at exit)."""
    counts = Counts()
    for case in ElementTree.parse(path).iter("testcase"):
        name, status = case.get("name"), case.get("status")
        skipped = case.find("skipped")
        reason = skipped.get("message", "") if skipped is not None else ""
        run = pytest_results.pop(name, None)
        if run is not None:
            counts.add(run)
            if status == "fail" and not run.failed:
                counts.failed.append(f"{name} (the run failed)")
        elif status == "run":
            counts.passed += 1
        elif status == "disabled" or reason.startswith("SKIP_"):
            counts.skipped[f"{name}: {reason or status}"] += 1
        else:
            counts.failed.append(name)
    return counts


def stage_counts(folder):
    pytest_results = {path.stem: pytest_counts(path)
                      for path in sorted((folder / "pytest").glob("*.xml"))}
    counts = Counts()
    for path in sorted(folder.glob("ctest*.xml")):
        counts.add(ctest_counts(path, pytest_results))
    for run in pytest_results.values():
        counts.add(run)
    for path in sorted(set(folder.glob("*.xml")) - set(folder.glob("ctest*.xml"))):
        counts.add(pytest_counts(path))
    return counts


def versions(folder):
    path = folder / "versions"
    lines = path.read_text().splitlines() if path.exists() else []
    return list(dict.fromkeys(line for line in lines if line))


def main(stages_file):
    path = Path(stages_file)
    stages = [line.split("\t") for line in path.read_text().splitlines()] if path.exists() else []
    width = max((len(name) for name, *_ in stages), default=0)
    total, failed_stage, failures, skips = Counts(), False, [], []
    for name, result, seconds, folder in stages:
        counts = stage_counts(Path(folder))
        # A stage that failed before any case could, a build say, is one failure.
        if result == "failed" and not counts.failed:
            counts.failed.append("the stage itself, before any case failed")
        tests = counts.text() if counts.passed or counts.failed or counts.skipped else ""
        print(f"{name:<{width}}  {result:<7} {int(seconds):4d} s  {tests}".rstrip())
        fetched = versions(Path(folder))
        if fetched:
            print(textwrap.fill(", ".join(fetched), width=100, initial_indent="    from Debian: ",
                                subsequent_indent=" " * 17, break_long_words=False,
                                break_on_hyphens=False))
        total.add(counts)
        failed_stage |= result == "failed"
        failures += [f"  {name}: {case}" for case in counts.failed]
        skips += [f"  {name}: {n} x {reason}" for reason, n in counts.skipped.items()]
    if failures:
        print("failed cases:", *failures[:MOST_FAILURES_SHOWN], sep="\n")
        if len(failures) > MOST_FAILURES_SHOWN:
            print(f"  and {len(failures) - MOST_FAILURES_SHOWN} more")
    if skips:
        print("skipped cases:", *skips, sep="\n")
    # Last, so that it closes the output.
    print(f"total: {total.text()}")
    return 1 if failed_stage else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
