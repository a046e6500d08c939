#!/usr/bin/env bash
# Times vantrel-cli compare --json as a whole process beside odiff and pixelmatch on the same
# screenshot pairs, and measures the CLI's peak memory at 1440 x 3120.
#   bench/peers.sh            (builds build-bench/, installs the peers into bench/.peers/)
# The peers come from the npm registry into a git-ignored folder; hyperfine and GNU time from Debian.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VANTREL_BENCH_BUILD_DIR:-$root/build-bench}"
peers="$root/bench/.peers"
work="$root/bench/out"
runs="${RUNS:-20}"

"$root/scripts/setup.sh" "$root/bench/packages.txt"
if ! command -v npm >/dev/null; then
  printf 'nodejs\nnpm\n' > "$root/bench/.node-packages.txt"
  "$root/scripts/setup.sh" "$root/bench/.node-packages.txt"
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTREL_BUILD_BENCH=ON -DVANTREL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target vantrel-cli bench_compare -j "$(nproc)"

mkdir -p "$peers" "$work"
if [ ! -x "$peers/node_modules/.bin/odiff" ] || [ ! -x "$peers/node_modules/.bin/pixelmatch" ]; then
  (cd "$peers" && npm install --no-audit --no-fund --silent odiff-bin@4.5.0 pixelmatch@8.0.0 >/dev/null)
fi
odiff="$peers/node_modules/.bin/odiff"
pixelmatch="$peers/node_modules/.bin/pixelmatch"
cli="$build/src/cli/vantrel-cli"
"$build/bench/bench_compare" --write-inputs "$work"

export QT_QPA_PLATFORM=offscreen
for w in 720 1179 1440; do
  dev="$work/device-$w.png"; same="$work/design-$w-same-size.png"; own="$work/design-$w.png"
  echo "== $w px wide screenshot =="
  # Exit codes 1 mean "different", which all three report here.
  hyperfine -N -i --warmup 3 --runs "$runs" --export-json "$work/peers-$w.json" \
    -n "vantrel (design at 2/3 size)" "$cli compare --device $dev --design $own --json $work/v.json" \
    -n "vantrel (same-size pair)" "$cli compare --device $dev --design $same --json $work/v.json" \
    -n "odiff" "$odiff $dev $same $work/odiff.png" \
    -n "pixelmatch" "$pixelmatch $dev $same $work/pixelmatch.png"
done

python3 - "$work" <<'PY'
import json, sys
work = sys.argv[1]
for w in (720, 1179, 1440):
    rows = json.load(open(f"{work}/peers-{w}.json"))["results"]
    by = {r["command"]: r for r in rows}
    v = by["vantrel (same-size pair)"]["median"]
    cpu = lambda r: (r["user"] + r["system"]) * 1000
    print(f"{w}: " + ", ".join(f"{name} median {r['median']*1000:.0f} ms (min {r['min']*1000:.0f}, max {r['max']*1000:.0f}), CPU {cpu(r):.0f} ms" for name, r in by.items()))
    same = by["vantrel (same-size pair)"]
    print(f"{w}: wall vantrel/odiff = {v / by['odiff']['median']:.2f}, vantrel/pixelmatch = {v / by['pixelmatch']['median']:.2f}; "
          f"CPU vantrel/odiff = {cpu(same) / cpu(by['odiff']):.2f}, vantrel/pixelmatch = {cpu(same) / cpu(by['pixelmatch']):.2f}")
PY

echo "== peak memory, vantrel-cli compare at 1440 x 3120 =="
/usr/bin/time -f "max RSS %M KiB, %e s" "$cli" compare --device "$work/device-1440.png" --design "$work/design-1440.png" --json "$work/v.json" >/dev/null || true
