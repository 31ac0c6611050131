#!/usr/bin/env python3
# Reads the runs bench/viewer-figures makes of one reply (curl, parse and go lines, in turn)
# and prints each run and the medians: F9 to Response.xml against `curl -o file`, F9 to the
# first lines against curl + parse, and the window process's peak memory over the reply
# (growth from F9 to Response.xml written); "before" lines are an earlier build's F9.
# usage: ... | go-medians.py REPLY_BYTES
import re
import statistics
import sys

size = int(sys.argv[1])
curl, transfer, parse, written, lines, peak, before = [], [], [], [], [], [], []
for line in sys.stdin:
    print("  " + line.rstrip())
    numbers = [float(n) for n in re.findall(r"\d+(?:\.\d+)?", line)]
    if line.startswith("curl"):
        curl.append(numbers[0])
        transfer.append(numbers[1])
    elif line.startswith("parse"):
        parse.append(numbers[0])
    elif line.startswith("before"):
        before.append(numbers[0])
    elif line.startswith("go"):
        written.append(numbers[0])
        lines.append(numbers[1])
        peak.append(numbers[2] * 1024)
if not (curl and parse and written):
    sys.exit("no complete run")
median = statistics.median
file_ratios = [w / c for w, c in zip(written, curl)]
view_ratios = [g / (c + p) for g, c, p in zip(lines, curl, parse)]
transfer_ratios = [w / t for w, t in zip(written, transfer)]
print(f"  median: curl {median(curl):.0f} ms ({median(transfer):.0f} ms in its transfer), "
      f"go {median(written):.0f} ms to Response.xml: "
      f"{median(file_ratios):.2f} x curl (runs {min(file_ratios):.2f} to {max(file_ratios):.2f}), "
      f"{median(transfer_ratios):.2f} x its transfer; "
      f"to the first lines {median(view_ratios):.2f} x curl + parse; "
      f"peak at Response.xml {median(peak) / size:.2f} x the reply")
if before:
    ratios = [b / c for b, c in zip(before, curl)]
    ratios_transfer = [b / t for b, t in zip(before, transfer)]
    print(f"  before: go {median(before):.0f} ms to Response.xml: {median(ratios):.2f} x curl "
          f"(runs {min(ratios):.2f} to {max(ratios):.2f}), "
          f"{median(ratios_transfer):.2f} x its transfer")
