#!/usr/bin/env bash
# The main job on the bundled example: installs what is missing, builds the command line, compares
# the example screenshot with its design and writes the reports to out/example/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
build="${VANTREL_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target vantrel-cli -j "$(nproc)"

out="$root/out/example"
mkdir -p "$out"
set +e
"$build/src/cli/vantrel-cli" compare \
  --device "$root/examples/checkout-device.png" \
  --design "$root/examples/checkout-design.png" \
  --json "$out/result.json" --html "$out/report.html" --pdf "$out/report.pdf"
status=$?
set -e
# Exit code 1 only means the screens differ, which is what the example shows.
if [ "$status" -gt 1 ]; then exit "$status"; fi
echo
echo "结果 JSON：$out/result.json"
echo "HTML 报告：$out/report.html（图片在 $out/report-assets/）"
echo "PDF 报告：$out/report.pdf"
