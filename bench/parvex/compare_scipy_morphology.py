#!/usr/bin/env python3
"""SciPy's grey maximum and minimum filters on the bone mask of the host phantom, for
comparison with this project's binary dilation and erosion (bench_morphology).

    bench_morphology --write MASK SIZE [R]
    python3 bench/parvex/compare_scipy_morphology.py MASK SIZE [R]

MASK holds one byte per voxel (1: bone), x fastest; SIZE is 256 (256^3) or 512
(512 x 512 x 400). Times scipy.ndimage.maximum_filter and minimum_filter of sizes 3, 5 and
41 on the mask (constant mode: 0 outside the volume, as the faces are for the erosion),
and the 18-neighbourhood of r = 1 as a footprint, best of three runs each. With R, also
checks that MASK.dilated and MASK.eroded, written by bench_morphology for the same R, equal
SciPy's results voxel for voxel. Needs python3-numpy and python3-scipy (Debian); the
product never uses them.
"""
import sys
import time

import numpy as np
from scipy import ndimage


def read_mask(path, shape):
    # x fastest: index as [z, y, x]
    return np.fromfile(path, dtype=np.uint8).reshape(shape)


def best_of_three(function):
    best = None
    result = None
    for _ in range(3):
        start = time.perf_counter()
        result = function()
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    return best, result


def filters(r):
    """maximum and minimum filter calls of the element of size r (as bench_morphology builds it)."""
    if r == 1:
        footprint = ndimage.generate_binary_structure(3, 2)  # centre and 18 neighbours
        return (lambda m: ndimage.maximum_filter(m, footprint=footprint, mode="constant", cval=0),
                lambda m: ndimage.minimum_filter(m, footprint=footprint, mode="constant", cval=0))
    size = 2 * r + 1
    return (lambda m: ndimage.maximum_filter(m, size=size, mode="constant", cval=0),
            lambda m: ndimage.minimum_filter(m, size=size, mode="constant", cval=0))


def main():
    if len(sys.argv) not in (3, 4) or sys.argv[2] not in ("256", "512"):
        print(__doc__)
        return 2
    path = sys.argv[1]
    shape = (256, 256, 256) if sys.argv[2] == "256" else (400, 512, 512)
    mask = read_mask(path, shape)
    print(f"mask {shape[2]} x {shape[1]} x {shape[0]}, {int(mask.sum())} bone voxels")
    for size in (3, 5, 41):
        for name, function in (("maximum_filter", ndimage.maximum_filter), ("minimum_filter", ndimage.minimum_filter)):
            seconds, _ = best_of_three(lambda: function(mask, size=size, mode="constant", cval=0))
            print(f"{name:15s} size {size:2d}: {seconds:.3f} s")
    for name, function in zip(("maximum_filter", "minimum_filter"), filters(1)):
        seconds, _ = best_of_three(lambda: function(mask))
        print(f"{name:15s} 18-neighbourhood: {seconds:.3f} s")
    if len(sys.argv) == 4:
        r = int(sys.argv[3])
        dilate, erode = filters(r)
        for suffix, function in ((".dilated", dilate), (".eroded", erode)):
            ours = read_mask(path + suffix, shape)
            theirs = function(mask)
            differences = int(np.count_nonzero(ours != theirs))
            print(f"r {r} {suffix[1:]}: {differences} voxels differ from SciPy")
            if differences:
                return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
