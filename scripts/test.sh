#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and runs the whole test suite.
# VANTREL_SANITIZE=1 builds into build-asan/ with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
if [ "${VANTREL_SANITIZE:-0}" = 1 ]; then
  export VANTREL_BUILD_DIR="${VANTREL_BUILD_DIR:-$root/build-asan}"
  "$root/scripts/build.sh" -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=ON
else
  export VANTREL_BUILD_DIR="${VANTREL_BUILD_DIR:-$root/build}"
  "$root/scripts/build.sh" -DCMAKE_BUILD_TYPE=Release
fi
cd "$VANTREL_BUILD_DIR"
ctest --output-on-failure -j "$(nproc)" --timeout 300
