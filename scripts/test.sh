#!/usr/bin/env bash
# Installs what the project needs, builds it and runs every test. GUI tests need a display:
# without one the whole run goes under xvfb-run.
#   scripts/test.sh [BUILD_DIR]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="$(realpath -m "${1:-$ROOT/build}")"
bash "$ROOT/scripts/setup.sh"
bash "$ROOT/scripts/build.sh" "$BUILD_DIR"
cd "$BUILD_DIR"
# No accessibility bus under Xvfb, and no warnings about it.
export NO_AT_BRIDGE=1
if [ "${VELMORA_SANITIZE:-0}" = "1" ]; then
  # Leaks inside system libraries (GTK, fontconfig, Mesa...) are suppressed, each with its
  # reason, in tests/sanitizer/lsan.supp; everything else fails the test. The plug-ins each
  # carry their own copy of the framework's globals by design, hence no ODR check.
  export LSAN_OPTIONS="suppressions=$ROOT/tests/sanitizer/lsan.supp:print_suppressions=0"
  export ASAN_OPTIONS="detect_leaks=1:detect_odr_violation=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi
CTEST=(ctest --output-on-failure -j"$(nproc)")
if [ -z "${DISPLAY:-}" ]; then
  xvfb-run -a -s "-screen 0 1600x1200x24" "${CTEST[@]}"
else
  "${CTEST[@]}"
fi
