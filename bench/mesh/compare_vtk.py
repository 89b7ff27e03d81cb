#!/usr/bin/python3
"""Times VTK's discrete surface filters on the bone mask written by write_bone_mask.

Outside CI, for comparison only:
    write_bone_mask /tmp/bone256.raw 256 256 256 host
    /usr/bin/python3 bench/mesh/compare_vtk.py /tmp/bone256.raw 256 256 256
The mask holds one byte per voxel (x fastest), 1 for bone. Needs python3-vtk9. The mask is
padded by one background voxel on every side, so that VTK closes the surface at the
volume's border as the project's extraction does (voxels beyond the volume are outside).
Prints the best time of the repeats and the peak resident memory of this process.
"""
import resource
import sys
import time

import numpy
from vtkmodules.util import numpy_support
from vtkmodules.vtkCommonCore import vtkObject
from vtkmodules.vtkCommonDataModel import vtkImageData
from vtkmodules.vtkFiltersGeneral import vtkDiscreteMarchingCubes

try:
    from vtkmodules.vtkFiltersGeneral import vtkDiscreteFlyingEdges3D
except ImportError:
    vtkDiscreteFlyingEdges3D = None


def load(path, x, y, z):
    mask = numpy.fromfile(path, dtype=numpy.uint8)
    if mask.size != x * y * z:
        sys.exit("mask size does not match the dimensions")
    mask = numpy.pad(mask.reshape(z, y, x), 1).ravel()
    x, y, z = x + 2, y + 2, z + 2
    image = vtkImageData()
    image.SetDimensions(x, y, z)
    image.SetSpacing(1.0, 1.0, 1.0)
    array = numpy_support.numpy_to_vtk(mask, deep=True)
    array.SetName("labels")
    image.GetPointData().SetScalars(array)
    return image


def run(name, make, image, repeats):
    best = None
    for _ in range(repeats):
        surface = make()
        surface.SetInputData(image)
        surface.SetValue(0, 1)
        surface.ComputeNormalsOff()
        surface.ComputeGradientsOff()
        surface.ComputeScalarsOff()
        start = time.perf_counter()
        surface.Update()
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
        output = surface.GetOutput()
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0
    print(f"{name}: best {best:.3f} s of {repeats}, triangles {output.GetNumberOfPolys()}, "
          f"points {output.GetNumberOfPoints()}, peak {peak:.0f} MiB")


def main():
    path, x, y, z = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
    repeats = int(sys.argv[5]) if len(sys.argv) > 5 else 3
    vtkObject.GlobalWarningDisplayOff()
    image = load(path, x, y, z)
    run("vtkDiscreteMarchingCubes", vtkDiscreteMarchingCubes, image, repeats)
    if vtkDiscreteFlyingEdges3D is not None:
        run("vtkDiscreteFlyingEdges3D", vtkDiscreteFlyingEdges3D, image, repeats)


if __name__ == "__main__":
    main()
