#!/usr/bin/env bash
# Installs what the project needs, builds it and runs every test. GUI tests need a display:
# without one the whole run goes under xvfb-run.
#   scripts/test.sh [BUILD_DIR]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${1:-$ROOT/build}"
bash "$ROOT/scripts/setup.sh"
bash "$ROOT/scripts/build.sh" "$BUILD_DIR"
cd "$BUILD_DIR"
CTEST=(ctest --output-on-failure -j"$(nproc)")
if [ -z "${DISPLAY:-}" ]; then
  xvfb-run -a -s "-screen 0 1600x1200x24" "${CTEST[@]}"
else
  "${CTEST[@]}"
fi
