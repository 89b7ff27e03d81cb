#!/usr/bin/env bash
# Whole-command load times of the host beside its peers, interleaved in the same minutes:
# `load dicom DIR` against VTK's vtkDICOMImageReader, `load nifti FILE` (plain and gzip)
# against nibabel.
#   bench/import/compare_load.sh BUILD_DIR WORK_DIR [ROUNDS [NIFTI_FILE...]]
# WORK_DIR receives the phantom written by write_dicom_series (512 x 512 x 200) once. Each
# round runs the host once per data set (one script loading it three times: the first load
# meets cold code and an empty heap, the later ones the usual case) and each peer once
# (three reads, each printed, so that its first read compares with the host's first load).
# Further NIfTI files named after ROUNDS are timed the same way, beside nibabel. Needs
# xvfb-run, python3-vtk9 and python3-nibabel.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="$(cd "$1" && pwd)"
WORK="$2"
ROUNDS="${3:-3}"
shift $(($# < 3 ? $# : 3))
EXTRA=()
for file in "$@"; do EXTRA+=("$(cd "$(dirname "$file")" && pwd)/$(basename "$file")"); done
mkdir -p "$WORK"
[ -d "$WORK/series" ] || "$BUILD/bench/import/write_dicom_series" "$WORK/series"
[ -f "$WORK/phantom.nii" ] || "$BUILD/bench/import/write_dicom_series" --nifti "$WORK/phantom.nii"
[ -f "$WORK/phantom.nii.gz" ] || "$BUILD/bench/import/write_dicom_series" --nifti "$WORK/phantom.nii.gz"

host() { # KIND PATH
  local script="$WORK/load-$1.script"
  printf 'load %s "%s"\nload %s "%s"\nload %s "%s"\n' "$1" "$2" "$1" "$2" "$1" "$2" > "$script"
  NO_AT_BRIDGE=1 xvfb-run -a -s "-screen 0 1600x1200x24" "$BUILD/host/velmora" --plugins "$BUILD/plugins" \
    --script "$script" --timings 2>&1 | grep '^timing:' | awk -v what="host $1 $(basename "$2")" \
    '{ t = t " " $3 } END { print what ":" t }'
}

for round in $(seq "$ROUNDS"); do
  echo "== round $round"
  host dicom "$WORK/series"
  /usr/bin/python3 "$ROOT/bench/import/compare_vtk_dicom.py" "$WORK/series" 3 | sed -n "1,3p"
  host nifti "$WORK/phantom.nii"
  /usr/bin/python3 "$ROOT/bench/import/compare_nibabel.py" "$WORK/phantom.nii" 3 | sed -n "1,3p"
  host nifti "$WORK/phantom.nii.gz"
  /usr/bin/python3 "$ROOT/bench/import/compare_nibabel.py" "$WORK/phantom.nii.gz" 3 | sed -n "1,3p"
  for file in "${EXTRA[@]}"; do
    host nifti "$file"
    /usr/bin/python3 "$ROOT/bench/import/compare_nibabel.py" "$file" 3 | sed -n "1,3p"
  done
done
