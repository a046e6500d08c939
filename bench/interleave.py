#!/usr/bin/env python3
"""Times whole processes in interleaved rounds and prints their wall clock, CPU and peak memory.

    bench/interleave.py --runs 15 --warmup 3 --title "1179 x 2556" \
        vantrel "vantrel-cli compare ..." odiff "odiff a.png b.png d.png" [...]

Every round runs each command once, in turn (the order reversed every other round), so a busy
machine weighs on all of them alike. CPU time (user + system) and peak resident memory come from
the kernel's accounting of the child (wait4). Exit codes 0, 1, 22 and 66 count as success: the
tools say "different" with 1 (vantrel), 22 (odiff) or 66 (pixelmatch). One markdown row per command shows
median (min-max); --json FILE keeps every run.
"""
import argparse
import json
import os
import shlex
import statistics
import subprocess
import sys
import time

ACCEPTED = {0, 1, 22, 66}


def run_once(command):
    start = time.perf_counter()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    stderr = child.stderr.read()
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    child.stderr.close()
    if child.returncode not in ACCEPTED:
        sys.exit(f"{shlex.join(command)} failed with exit code {child.returncode}:\n{stderr.decode(errors='replace')}")
    return {"wall_ms": wall * 1000, "cpu_ms": (usage.ru_utime + usage.ru_stime) * 1000, "peak_mib": usage.ru_maxrss / 1024}


def spread(values, digits):
    return f"{statistics.median(values):.{digits}f} ({min(values):.{digits}f}–{max(values):.{digits}f})"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--warmup", type=int, default=3)
    parser.add_argument("--title", default="")
    parser.add_argument("--json")
    parser.add_argument("pairs", nargs="+", help="name command name command ...")
    args = parser.parse_args()
    if len(args.pairs) % 2:
        parser.error("give a name and a command for each entry")
    commands = [(args.pairs[i], shlex.split(args.pairs[i + 1])) for i in range(0, len(args.pairs), 2)]

    for _ in range(args.warmup):
        for _, command in commands:
            run_once(command)
    runs = {name: [] for name, _ in commands}
    for round_index in range(args.runs):
        order = commands if round_index % 2 == 0 else list(reversed(commands))
        for name, command in order:
            runs[name].append(run_once(command))

    first = commands[0][0]
    for name, _ in commands:
        rows = runs[name]
        wall = [r["wall_ms"] for r in rows]
        cpu = [r["cpu_ms"] for r in rows]
        peak = [r["peak_mib"] for r in rows]
        ratio = ""
        if name != first:
            base = runs[first]
            ratio = (f" {statistics.median(r['wall_ms'] for r in base) / statistics.median(wall):.2f} /"
                     f" {statistics.median(r['cpu_ms'] for r in base) / statistics.median(cpu):.2f} /"
                     f" {statistics.median(r['peak_mib'] for r in base) / statistics.median(peak):.2f} |")
        print(f"| {args.title} | {name} | {spread(wall, 0)} | {spread(cpu, 0)} | {spread(peak, 1)} |{ratio}")
    if args.json:
        with open(args.json, "w") as out:
            json.dump({"title": args.title, "runs": runs}, out, indent=1)


if __name__ == "__main__":
    main()
