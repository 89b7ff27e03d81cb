#!/usr/bin/env bash
# Installs what the project needs, builds it and runs the main job of the host.
#   scripts/demo.sh [BUILD_DIR]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${1:-$ROOT/build}"
bash "$ROOT/scripts/setup.sh"
bash "$ROOT/scripts/build.sh" "$BUILD_DIR"
"$BUILD_DIR/host/velmora" --list-plugins
