#!/usr/bin/env python3
"""Prints median (min-max) of every benchmark in a Google Benchmark JSON file written with
--benchmark_repetitions=N --benchmark_format=json: wall time, and each counter ending in _ms."""
import json
import statistics
import sys
from collections import defaultdict

runs = defaultdict(list)
labels = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("run_type") != "iteration":
        continue
    runs[b["run_name"]].append(b)
    labels[b["run_name"]] = b.get("label", "")

def fmt(values):
    return f"{statistics.median(values):.1f} ({min(values):.1f}-{max(values):.1f})"

for name, reps in runs.items():
    unit = reps[0]["time_unit"]
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[unit]
    parts = [f"wall {fmt([r['real_time'] * scale for r in reps])} ms"]
    for key in sorted(k for k in reps[0] if k.endswith("_ms")):
        parts.append(f"{key[:-3]} {fmt([r[key] for r in reps])}")
    print(f"{name} [{labels[name]}] n={len(reps)}: " + ", ".join(parts))
