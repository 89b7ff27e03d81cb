#!/usr/bin/env bash
# Builds the fuzz targets as libFuzzer programs (clang-14, address and undefined-behaviour
# sanitizers) into build-fuzz/ and runs each for SECONDS (default 60) on a scratch copy of
# its seed corpus in tests/fuzz/corpus, so that nothing in the tree is written.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# TARGET: segmentation_load, decompressors, nifti, dicom, sources or script_words (default:
# all; the fuzz_ prefix may be given).
# Each run ends with libFuzzer's final statistics. A target that finds a fault prints the
# end of its report; the scratch folder with the failing input is then kept and the script
# exits with status 1.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="$ROOT/build-fuzz"
SECONDS_EACH="${1:-60}"
shift || true
declare -A CORPUS=([segmentation_load]=segmentation [decompressors]=decompressors [nifti]=nifti [dicom]=dicom
  [sources]=sources [script_words]=script)
[ $# -gt 0 ] || set -- segmentation_load decompressors nifti dicom sources script_words
TARGETS=()
for target in "$@"; do
  target="${target#fuzz_}"
  if [ -z "${CORPUS[$target]:-}" ]; then
    echo "fuzz.sh: unknown target '$target' (known: ${!CORPUS[*]})" >&2
    exit 2
  fi
  TARGETS+=("$target")
done
if ! [[ "$SECONDS_EACH" =~ ^[0-9]+$ ]] || [ "$SECONDS_EACH" -eq 0 ]; then
  echo "fuzz.sh: SECONDS must be a positive whole number" >&2
  exit 2
fi

bash "$ROOT/scripts/setup.sh" clang-14 libclang-rt-14-dev
CC=clang-14 CXX=clang++-14 cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELMORA_FUZZ=ON -DVELMORA_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)" --target "${TARGETS[@]/#/fuzz_}"

SCRATCH="$(mktemp -d "${TMPDIR:-/tmp}/velmora-fuzz.XXXXXX")"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
failed=0
for target in "${TARGETS[@]}"; do
  work="$SCRATCH/$target"
  mkdir -p "$work/corpus" "$work/found"
  cp "$ROOT/tests/fuzz/corpus/${CORPUS[$target]}/"* "$work/corpus/"
  echo "== fuzz_$target: ${SECONDS_EACH} s, seeds $(ls "$work/corpus" | wc -l)"
  status=0
  "$BUILD_DIR/tests/fuzz/fuzz_$target" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/found/" "$work/corpus" >"$work/log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    failed=1
    tail -n 60 "$work/log"
    echo "fuzz_$target found a fault (exit status $status): inputs in $work/found" >&2
  fi
  grep -a -E '^#[0-9]+[[:space:]]+DONE|^stat::' "$work/log" || true
done
if [ "$failed" -eq 0 ]; then
  rm -rf "$SCRATCH"
fi
exit "$failed"
