#!/usr/bin/env bash
# Configures and builds the project into a build folder.
#   scripts/build.sh [BUILD_DIR] [extra cmake arguments...]
# VELMORA_SANITIZE=1 builds with the address and undefined-behaviour sanitizers.
# VELMORA_TARGETS="A B ..." builds those targets only (the configuration stays the same).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${1:-$ROOT/build}"
shift || true
EXTRA=()
if [ "${VELMORA_SANITIZE:-0}" = "1" ]; then
  # Benchmarks mean nothing under the sanitizers: not built.
  EXTRA+=(-DVELMORA_SANITIZE=ON -DVELMORA_BUILD_BENCH=OFF)
fi
cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE="${CMAKE_BUILD_TYPE:-RelWithDebInfo}" "${EXTRA[@]}" "$@"
TARGETS=()
for target in ${VELMORA_TARGETS:-}; do
  TARGETS+=(--target "$target")
done
cmake --build "$BUILD_DIR" -j"$(nproc)" "${TARGETS[@]}"
