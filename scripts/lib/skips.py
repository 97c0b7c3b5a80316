#!/usr/bin/env python3
"""Every skipped test against the list of skips allowed (tests/allowed-skips).

Usage: skips.py ALLOWED_LIST [--junit FILE]... [--skip NAME REASON]...

Reads ctest's JUnit reports (ctest --output-junit) and skips named on the
command line. Prints each allowed skip as "allowed skip: NAME: REASON" on
standard output; prints every other skip, grouped by reason, on standard
error, and exits 1 when there is one. A skip's reason is the line after
GoogleTest's "Skipped", or the text after "SKIP:" / Qt Test's "SKIP   :".
"""
import re
import sys
import xml.etree.ElementTree as ET


def read_allowed(path):
    allowed = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            fields = line.split("\t")
            fields = [x for x in fields if x]
            if len(fields) != 2:
                sys.exit(f"{path}:{number}: want NAME-REGEX<TAB>REASON-REGEX")
            allowed.append((re.compile(fields[0]), re.compile(fields[1])))
    return allowed


def reason_of(output):
    lines = (output or "").splitlines()
    for i, line in enumerate(lines):
        if line.endswith(": Skipped") and i + 1 < len(lines) and lines[i + 1].strip():
            return lines[i + 1].strip()
        m = re.match(r"^SKIP\s*:\s*(?:\S+\(\)\s+)?(.*)$", line)
        if m:
            return m.group(1).strip()
    return "(no reason given)"


def main(argv):
    allowed = read_allowed(argv[1])
    skips = []
    i = 2
    while i < len(argv):
        if argv[i] == "--junit":
            for case in ET.parse(argv[i + 1]).getroot().iter("testcase"):
                if case.find("skipped") is not None:
                    skips.append((case.get("name"), reason_of(case.findtext("system-out"))))
            i += 2
        elif argv[i] == "--skip":
            skips.append((argv[i + 1], argv[i + 2]))
            i += 3
        else:
            sys.exit(f"skips.py: unknown argument {argv[i]}")

    refused = {}
    for name, reason in skips:
        if any(n.search(name) and r.search(reason) for n, r in allowed):
            print(f"allowed skip: {name}: {reason}")
        else:
            refused.setdefault(reason, []).append(name)
    if not refused:
        return 0
    total = sum(len(names) for names in refused.values())
    print(f"error: {total} tests skipped, and {argv[1]} allows none of these skips:",
          file=sys.stderr)
    for reason, names in sorted(refused.items(), key=lambda item: len(item[1])):
        shown = ", ".join(names[:3]) + (f" and {len(names) - 3} more" if len(names) > 3 else "")
        print(f"  {reason}: {len(names)} skipped ({shown})", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
