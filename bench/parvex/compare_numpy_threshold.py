#!/usr/bin/env python3
"""NumPy's thresholding of a 16-bit volume, the peer of "Perform Thresholding":

    compare_numpy_threshold.py [X Y Z] [REPEATS]

Times ((a >= lo) & (a < hi)).astype(uint16) on a volume of X x Y Z signed 16-bit CT
densities (default 512 x 512 x 400, air, soft tissue and a bone shell with noise, as the
host's phantom), best and median of REPEATS runs (default 5).
"""

import statistics
import sys
import time

import numpy as np


def main():
    x, y, z = (int(v) for v in sys.argv[1:4]) if len(sys.argv) >= 4 else (512, 512, 400)
    repeats = int(sys.argv[4]) if len(sys.argv) >= 5 else 5
    rng = np.random.default_rng(1)
    zz, yy, xx = np.meshgrid(np.linspace(-1, 1, z), np.linspace(-1, 1, y), np.linspace(-1, 1, x), indexing='ij')
    radius = np.sqrt(xx * xx + yy * yy + 0.5 * zz * zz)
    a = np.where(radius < 0.8, 40, -1000).astype(np.int16)
    a[(radius >= 0.7) & (radius < 0.8)] = 1200
    a += rng.normal(0, 20, a.shape).astype(np.int16)
    lo, hi = 1000, 1500
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        labels = ((a >= lo) & (a < hi)).astype(np.uint16)
        times.append(time.perf_counter() - start)
    print('numpy threshold %dx%dx%d: best %.3f s, median %.3f s of %d (labelled %d)'
          % (x, y, z, min(times), statistics.median(times), repeats, int(labels.sum())))


if __name__ == '__main__':
    main()
