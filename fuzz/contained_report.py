#!/usr/bin/python3
"""Tells the crashes that a fuzz target's child processes contained.

Usage: /usr/bin/python3 fuzz/contained_report.py LOG

Reads the fuzzer's log: the target's own count ("contained: N inputs ...",
written when the run ends) and the reports that the children left, grouped
by kind (the checker's summary line, or the deadly signal and the function it
hit), each kind with its number of reports and the stack of its first.
Prints nothing when nothing was contained."""
import re
import sys

FRAME = re.compile(r"^\s+#\d+ ")
START = re.compile(r"^==\d+==ERROR: |^==contained== |runtime error: ")
# addresses, module offsets and build ids differ from run to run, not from kind
# to kind
BUILD_ID = re.compile(r" \(BuildId: [0-9a-f]+\)")
MODULE = re.compile(r"\((?:[^()]*/)?([^()/+]+)\+0x[0-9a-f]+\)")
ADDRESS = re.compile(r"0x[0-9a-f]+ ")


def clean(line):
    return ADDRESS.sub("", MODULE.sub(r"(\1)", BUILD_ID.sub("", line.strip())))


def reports(lines):
    report = None
    for line in lines:
        if START.search(line):
            if report:
                yield report
            report = {"head": line.strip(), "frames": [], "summary": None, "stack done": False}
        elif report is None:
            continue
        elif FRAME.match(line):
            # the first stack only: a report goes on with where its memory came from
            if report["frames"] and line.split()[0] == "#0":
                report["stack done"] = True
            if not report["stack done"] and len(report["frames"]) < 12:
                report["frames"].append(clean(line))
        elif line.startswith("SUMMARY: "):
            report["summary"] = clean(line[len("SUMMARY: "):])
            yield report
            report = None
    if report:
        yield report


def kind(report):
    if report["summary"]:
        return report["summary"]
    first = report["frames"][0].split(" in ", 1)[-1] if report["frames"] else "?"
    return "%s in %s" % (clean(report["head"]).lstrip("= "), first.split()[0])


def main():
    with open(sys.argv[1], errors="replace") as log:
        lines = log.readlines()
    counts = [line.strip() for line in lines if line.startswith("contained: ")]
    kinds = {}
    for report in reports(lines):
        kinds.setdefault(kind(report), []).append(report)
    if not counts and not kinds:
        return
    print(counts[-1] if counts else "contained: the children left reports")
    for name, found in kinds.items():
        print("  %d reports: %s" % (len(found), name))
        for frame in found[0]["frames"]:
            print("    " + frame)


if __name__ == "__main__":
    main()
