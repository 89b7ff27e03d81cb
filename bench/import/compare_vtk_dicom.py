#!/usr/bin/python3
"""Times VTK's plain DICOM reader (vtkDICOMImageReader) on a folder, for comparison with
the host's `load dicom DIR` (`velmora --script FILE --timings`).

    compare_vtk_dicom.py DIR [RUNS]

Each run builds a new reader and reads the whole folder into memory (Update), as the host's
load command does; prints every run, then the best and the median in seconds."""
import statistics
import sys
import time

import vtk


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    folder = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) == 3 else 5
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        reader = vtk.vtkDICOMImageReader()
        reader.SetDirectoryName(folder)
        reader.Update()
        image = reader.GetOutput()
        times.append(time.perf_counter() - start)
        dims = image.GetDimensions()
        del reader, image
    print("vtkDICOMImageReader %s: %d x %d x %d" % (folder, *dims))
    print("runs: " + " ".join("%.3f" % t for t in times))
    print("best %.3f s, median %.3f s" % (min(times), statistics.median(times)))


if __name__ == "__main__":
    main()
