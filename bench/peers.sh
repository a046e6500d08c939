#!/usr/bin/env bash
# Times vantrel-cli compare --json as a whole process beside odiff, interleaved, on real browser
# screenshots: wall clock, CPU time and peak memory of every run (bench/interleave.py).
#   bench/peers.sh                 (builds build-bench/, installs the peers into bench/.peers/)
#   RUNS=15 SYNTHETIC=1 bench/peers.sh   (also the drawn pairs of bench_compare, with pixelmatch)
# The screenshots come from ../shared/bench-images (BENCH_IMAGES overrides); the peers from the npm
# registry into a git-ignored folder; Node and Python from Debian.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VANTREL_BENCH_BUILD_DIR:-$root/build-bench}"
images="${BENCH_IMAGES:-$root/../shared/bench-images}"
peers="$root/bench/.peers"
work="$root/bench/out"
runs="${RUNS:-15}"

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
interleave=("$root/bench/interleave.py" --runs "$runs" --warmup 3)

echo "| pair | tool | wall ms | CPU ms | peak MiB | vantrel ÷ tool: wall / CPU / peak |"
echo "|---|---|---|---|---|---|"
# Both tools compare the same two files; odiff exits 22 and vantrel 1 for "different".
while IFS='|' read -r title device design; do
  "${interleave[@]}" --title "$title" --json "$work/real-${device%.png}-${design%.png}.json" \
    vantrel "$cli compare --device $images/$device --design $images/$design --json $work/v.json" \
    odiff "$odiff $images/$device $images/$design $work/odiff.png"
done <<'PAIRS'
1179 × 2556, one card moved|screen-1179x2556.png|screen-1179x2556-shifted.png
1440 × 3120, button recoloured|screen-1440x3120.png|screen-1440x3120-recoloured.png
1179 × 2556 against its 786 × 1704 design|screen-1179x2556.png|design-786x1704.png
PAIRS

[ "${SYNTHETIC:-0}" = 1 ] || exit 0
# The pairs drawn by bench_compare (the design also scaled to the screenshot's size, since the
# peers want equal sizes); they compress and decode far more cheaply than real screenshots.
"$build/bench/bench_compare" --write-inputs "$work"
for w in 720 1179 1440; do
  dev="$work/device-$w.png"; same="$work/design-$w-same-size.png"
  "${interleave[@]}" --title "drawn, $w wide" \
    vantrel "$cli compare --device $dev --design $same --json $work/v.json" \
    odiff "$odiff $dev $same $work/odiff.png" \
    pixelmatch "$pixelmatch $dev $same $work/pixelmatch.png"
done
