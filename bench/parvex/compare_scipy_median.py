#!/usr/bin/env python3
"""SciPy's median filter on the thresholding of a NIfTI CT, for comparison with the host's
"Perform Median Filtering" timed by `velmora --timings` on the same file and bounds.

    python3 bench/parvex/compare_scipy_median.py FILE.nii[.gz] LOWER HIGHER [SIZE]

Labels are 1 where LOWER <= density < HIGHER and 0 elsewhere (unsigned 16-bit), as the
host's thresholding writes them; the filter is scipy.ndimage.median_filter with the given
size (default 5, a radius of 2) and constant mode (0 outside), the best of three runs.
Needs python3-numpy and python3-scipy (Debian); the product never uses them.
"""
import gzip
import struct
import sys
import time

import numpy as np
from scipy import ndimage

TYPES = {2: np.uint8, 4: np.int16, 8: np.int32, 16: np.float32, 64: np.float64, 256: np.int8, 512: np.uint16}


def read_nifti(path):
    raw = (gzip.open if path.endswith(".gz") else open)(path, "rb").read()
    dims = struct.unpack_from("<8h", raw, 40)
    datatype = struct.unpack_from("<h", raw, 70)[0]
    offset = int(struct.unpack_from("<f", raw, 108)[0])
    slope, inter = struct.unpack_from("<2f", raw, 112)
    shape = dims[1:4]
    count = shape[0] * shape[1] * shape[2]
    data = np.frombuffer(raw, dtype=TYPES[datatype], count=count, offset=offset).astype(np.float64)
    if slope not in (0.0, 1.0) or inter != 0.0:
        data = data * (slope if slope else 1.0) + inter
    # x fastest: index as [z, y, x]
    return data.reshape(shape[2], shape[1], shape[0]).round().astype(np.int16)


def main():
    path, lower, higher = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    size = int(sys.argv[4]) if len(sys.argv) > 4 else 5
    density = read_nifti(path)
    labels = ((density >= lower) & (density < higher)).astype(np.uint16)
    best = None
    for _ in range(3):
        start = time.perf_counter()
        result = ndimage.median_filter(labels, size=size, mode="constant", cval=0)
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    print(f"scipy median_filter size {size} on {density.shape[::-1]}: {best:.3f} s; "
          f"labelled voxels {int(labels.sum())} -> {int((result > 0).sum())}")


if __name__ == "__main__":
    main()
