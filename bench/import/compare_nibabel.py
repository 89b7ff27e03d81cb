#!/usr/bin/python3
"""Times nibabel's reading of a NIfTI file, for comparison with the host's
`load nifti FILE` (`velmora --script FILE --timings`).

    compare_nibabel.py FILE [RUNS]

Each run loads the file and takes its voxels in their stored type with
np.asanyarray(img.dataobj): like the host, which converts to 16 bits, that reads and
decompresses everything once and applies the scaling only when the file has one. (get_fdata
would convert every voxel to floating point on top, which the host never does.) Memory
mapping is turned off so that the voxels are read, not only mapped. Prints every run, then
the best and the median in seconds."""
import statistics
import sys
import time

import nibabel as nib
import numpy as np


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    path = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) == 3 else 5
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        image = nib.load(path, mmap=False)
        voxels = np.asanyarray(image.dataobj)
        times.append(time.perf_counter() - start)
        shape, dtype = voxels.shape, voxels.dtype
        del image, voxels
    print("nibabel %s: %s %s" % (path, " x ".join(map(str, shape)), dtype))
    print("runs: " + " ".join("%.3f" % t for t in times))
    print("best %.3f s, median %.3f s" % (min(times), statistics.median(times)))


if __name__ == "__main__":
    main()
