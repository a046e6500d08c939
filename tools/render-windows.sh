#!/usr/bin/env bash
# Renders the vantrel main window in each state (alert, empty capture, both pictures loaded, a
# result in each display mode) to PNG files under OUT_DIR: once at the default size and once at the
# minimum width (files prefixed 1180x860-). Drives the real executable through the accessibility
# bus on a virtual X screen, as the end-to-end test does.
# Usage: tools/render-windows.sh OUT_DIR [BUILD_DIR]   (BUILD_DIR defaults to ./build)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$(mkdir -p "${1:?usage: tools/render-windows.sh OUT_DIR [BUILD_DIR]}" && cd "$1" && pwd)"
build="${2:-$root/build}"

"$root/scripts/setup.sh" "$root/tools/packages.txt"
cmake --build "$build" -j2 --target vantrel fake-adb fake-http-server
export VANTREL_APP="$build/src/ui/vantrel" FAKE_ADB="$build/tests/fakes/adb/adb" \
       FAKE_HTTP_SERVER="$build/tests/fakes/http/fake-http-server"
"$root/tests/e2e/run.sh" "$root/tools/render_windows.py" "$out"
"$root/tests/e2e/run.sh" "$root/tools/render_windows.py" "$out" 1180x860
