"""Prints the benchmark table: each figure as a ratio against its baseline of the same run."""
import json
import statistics
import sys
from pathlib import Path

folder = Path(sys.argv[1])
cores = sys.argv[2]
medians = {}
for name in ("transport.json", "window.json"):
    for b in json.loads((folder / name).read_text())["benchmarks"]:
        if b.get("aggregate_name") == "median":
            medians[b["run_name"].replace("/real_time", "")] = b

def time(name):
    return medians[name]["real_time"]

def rate(name):
    return medians[name]["bytes_per_second"]

def counter(name, key):
    return medians[name].get(key, float("nan"))

startup = {"window": [], "bare": []}
for line in (folder / "startup.txt").read_text().split("\n"):
    if line:
        kind, micros = line.split()
        startup[kind].append(int(micros) / 1000)

rows = [
    ("small round trip, new poster each time", f"{time('round_trip/poster')/time('round_trip/curl'):.2f} x bare libcurl", "<= 1.15 x"),
    ("256 MiB reply into the response stream", f"{rate('download/poster/256')/rate('download/curl/256'):.2f} x throughput; peak body {counter('download/poster/256', 'peak_over_body_MiB'):+.0f} MiB", ">= 0.9 x; <= body + 32 MiB"),
    ("256 MiB request in pieces", f"{rate('upload/poster/256')/rate('upload/curl/256'):.2f} x throughput; growth {counter('upload/poster/256', 'peak_growth_MiB'):.0f} MiB", ">= 0.9 x; no second copy"),
]
for kind in ("no_mark", "utf8_mark", "utf16_mark"):
    rows.append((f"Response.xml from 64 MiB, {kind.replace('_', ' ')}",
                 f"{time('response_file/' + kind + '/64')/time('response_file/plain_write/64'):.2f} x one write; growth {counter('response_file/' + kind + '/64', 'peak_growth_MiB'):.0f} MiB",
                 "<= 2 x; <= body + 32 MiB"))
rows.append(("Go command, 64 MiB ReadResponse, F9 to viewer usable", f"{time('go/window/64')/time('go/download_parse/64'):.2f} x download + parse ({time('go/window/64')/time('go/transport/64'):.1f} x the download)", "<= 1.5 x download + parse"))
for mib in (1, 16, 128):
    rows.append((f"viewer: Navigate to usable, {mib} MiB",
                 f"{time(f'viewer/navigate/{mib}'):.0f} ms ({time(f'viewer/navigate/{mib}')/time(f'viewer/read/{mib}'):.0f} x one read); memory {counter(f'viewer/navigate/{mib}', 'peak_per_file_byte'):.1f} x file",
                 "16 MiB < 1 s; <= 4 x file"))
rows.append(("start-up to the window with its template", f"{statistics.median(startup['window'])/statistics.median(startup['bare']):.2f} x a bare Qt window ({statistics.median(startup['window']):.0f} ms)", "<= 1.5 x"))

print(f"cores: {cores}")
width = max(len(r[0]) for r in rows)
for what, measured, target in rows:
    print(f"{what:<{width}}  {measured:<60}  target {target}")
