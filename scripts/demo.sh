#!/usr/bin/env bash
# Installs what the project needs, builds it and runs the host's main job: the demo script
# on the built-in phantom (headless under xvfb-run when there is no display).
#   scripts/demo.sh [BUILD_DIR]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="$(realpath -m "${1:-$ROOT/build}")"
bash "$ROOT/scripts/setup.sh"
bash "$ROOT/scripts/build.sh" "$BUILD_DIR"
cd "$BUILD_DIR"
RUN=("$BUILD_DIR/host/velmora" --script "$ROOT/examples/demo" --timings)
if [ -z "${DISPLAY:-}" ]; then
  xvfb-run -a -s "-screen 0 1600x1200x24" "${RUN[@]}"
else
  "${RUN[@]}"
fi
