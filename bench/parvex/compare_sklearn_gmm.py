#!/usr/bin/env python3
"""scikit-learn's GaussianMixture on the host phantom, beside this project's GMM
segmentation (bench_segmentation) timed in the same run.

    build/bench/parvex/bench_segmentation --write PHANTOM
    /usr/bin/python3 bench/parvex/compare_sklearn_gmm.py PHANTOM [BENCH]

PHANTOM holds the 512 x 512 x 400 phantom's densities (signed 16-bit, x fastest) and
PHANTOM.positive / PHANTOM.negative the training samples of 1000 marked points (float64),
as bench_segmentation writes them. BENCH (default build/bench/parvex/bench_segmentation) is
run first for its gmm/train and gmm/volume figures. Then GaussianMixture(4) is fitted to the
positive and to the negative samples (timed together, like one training here) and the
positive model's predict() labels every voxel (in slabs of 16 slices, to bound memory),
timed once; the ratio of the two labelling times is printed. Needs python3-numpy and
python3-sklearn (Debian); the product never uses them.
"""
import json
import subprocess
import sys
import time

import numpy as np
from sklearn.mixture import GaussianMixture

SHAPE = (400, 512, 512)  # z, y, x
SLAB = 16


def ours(bench):
    output = subprocess.run([bench, "--benchmark_filter=gmm/", "--benchmark_format=json",
                             "--benchmark_min_time=2"], check=True, capture_output=True, text=True).stdout
    figures = {}
    for entry in json.loads(output)["benchmarks"]:
        figures[entry["name"].split("/real_time")[0]] = entry["real_time"] / 1000.0  # ms -> s
    return figures["gmm/train"], figures["gmm/volume"]


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__)
        return 2
    path = sys.argv[1]
    bench = sys.argv[2] if len(sys.argv) == 3 else "build/bench/parvex/bench_segmentation"
    train, label = ours(bench)
    print(f"this project: training {train * 1000:.1f} ms, labelling the volume {label * 1000:.1f} ms")

    volume = np.fromfile(path, dtype=np.int16).reshape(SHAPE)
    positive = np.fromfile(path + ".positive", dtype=np.float64).reshape(-1, 1)
    negative = np.fromfile(path + ".negative", dtype=np.float64).reshape(-1, 1)
    start = time.perf_counter()
    model = GaussianMixture(4, random_state=0).fit(positive)
    GaussianMixture(4, random_state=0).fit(negative)
    fitted = time.perf_counter() - start
    start = time.perf_counter()
    labelled = 0
    for z in range(0, SHAPE[0], SLAB):
        slab = volume[z:z + SLAB].reshape(-1, 1).astype(np.float64)
        labelled += int(np.count_nonzero(model.predict(slab)))
    predicted = time.perf_counter() - start
    print(f"scikit-learn: fit of both models {fitted * 1000:.1f} ms "
          f"({len(positive)} + {len(negative)} samples), predict of {volume.size} voxels {predicted:.2f} s")
    print(f"labelling: this project {predicted / label:.0f} times faster")
    return 0


if __name__ == "__main__":
    sys.exit(main())
