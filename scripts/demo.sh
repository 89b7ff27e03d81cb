#!/usr/bin/env bash
# Installs what the project needs, builds the host and the three plug-ins (not the tests)
# and runs the host's main job: the demo script on the built-in phantom (headless under
# xvfb-run when there is no display). What it writes goes to BUILD_DIR/demo; it ends with a
# summary of the files and where they are.
#   scripts/demo.sh [BUILD_DIR]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="$(realpath -m "${1:-$ROOT/build}")"
START=$SECONDS
bash "$ROOT/scripts/setup.sh"
VELMORA_TARGETS="velmora ParvexPlugin TolvanePlugin OstrumPlugin" bash "$ROOT/scripts/build.sh" "$BUILD_DIR"
OUT="$BUILD_DIR/demo"
mkdir -p "$OUT"
cd "$OUT"
RUN=("$BUILD_DIR/host/velmora" --script "$ROOT/examples/demo" --timings)
status=0
if [ -z "${DISPLAY:-}" ]; then
  xvfb-run -a -s "-screen 0 1600x1200x24" "${RUN[@]}" || status=$?
else
  "${RUN[@]}" || status=$?
fi
echo
if [ "$status" -eq 0 ]; then
  echo "demo: done in $((SECONDS - START)) s. The session on the phantom thresholded its bone shell,"
  echo "saved and reloaded the segmentation, built the bone surface and smoothed it. Files in $OUT:"
else
  echo "demo: the script failed (exit status $status) after $((SECONDS - START)) s; files written so far in $OUT:"
fi
for file in "$OUT"/*; do
  [ -f "$file" ] && printf '  %-28s %10d bytes\n' "$(basename "$file")" "$(stat -c %s "$file")"
done
exit "$status"
