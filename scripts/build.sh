#!/usr/bin/env bash
# Configures and builds the project into build/ (or $VANTREL_BUILD_DIR) with warnings as errors.
# Extra arguments go to CMake's configure step.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VANTREL_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja -DVANTREL_WERROR=ON "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
