#!/usr/bin/python3
"""Times VTK's smoothing and decimation filters on the bone mask written by write_bone_mask,
beside bench_mesh_refinement's steps on the same mask.

Outside CI, for comparison only:
    write_bone_mask /tmp/bone256.raw 256 256 256
    /usr/bin/python3 bench/mesh/compare_vtk_refinement.py /tmp/bone256.raw 256 256 256
The mask holds one byte per voxel (x fastest), 1 for bone; it is padded by one background
voxel on every side so that VTK's surface is closed. Needs python3-vtk9. Prints wall and
CPU seconds (best of the repeats) and the triangle counts of:
    vtkDiscreteMarchingCubes               the surface the next two start from
    vtkWindowedSincPolyDataFilter 20       smoothing, 20 iterations
    vtkDecimatePro -> 100000               decimation with preserved topology
    chain                                  vtkDiscreteFlyingEdges3D + WindowedSinc 20 + DecimatePro
"""
import resource
import sys
import time

import numpy
from vtkmodules.util import numpy_support
from vtkmodules.vtkCommonCore import vtkObject
from vtkmodules.vtkCommonDataModel import vtkImageData
from vtkmodules.vtkFiltersCore import vtkDecimatePro, vtkWindowedSincPolyDataFilter
from vtkmodules.vtkFiltersGeneral import vtkDiscreteFlyingEdges3D, vtkDiscreteMarchingCubes

TARGET = 100000


def load(path, x, y, z):
    mask = numpy.fromfile(path, dtype=numpy.uint8)
    if mask.size != x * y * z:
        sys.exit("mask size does not match the dimensions")
    mask = numpy.pad(mask.reshape(z, y, x), 1).ravel()
    image = vtkImageData()
    image.SetDimensions(x + 2, y + 2, z + 2)
    image.SetSpacing(1.0, 1.0, 1.0)
    array = numpy_support.numpy_to_vtk(mask, deep=True)
    array.SetName("labels")
    image.GetPointData().SetScalars(array)
    return image


def surface(kind, image):
    extractor = kind()
    extractor.SetInputData(image)
    extractor.SetValue(0, 1)
    extractor.ComputeNormalsOff()
    extractor.ComputeGradientsOff()
    extractor.ComputeScalarsOff()
    return extractor


def decimator():
    decimate = vtkDecimatePro()
    decimate.PreserveTopologyOn()
    return decimate


def timed(name, build, repeats):
    best_wall = best_cpu = None
    for _ in range(repeats):
        last, first_input = build()
        start, start_cpu = time.perf_counter(), time.process_time()
        last.Update()
        wall, cpu = time.perf_counter() - start, time.process_time() - start_cpu
        best_wall = wall if best_wall is None else min(best_wall, wall)
        best_cpu = cpu if best_cpu is None else min(best_cpu, cpu)
        output = last.GetOutput()
    print(f"{name}: best {best_wall:.3f} s wall, {best_cpu:.3f} s CPU of {repeats}, "
          f"input triangles {first_input}, triangles {output.GetNumberOfPolys()}")


def main():
    path, x, y, z = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
    repeats = int(sys.argv[5]) if len(sys.argv) > 5 else 1
    vtkObject.GlobalWarningDisplayOff()
    image = load(path, x, y, z)

    mc = surface(vtkDiscreteMarchingCubes, image)
    mc.Update()
    raw = mc.GetOutput()
    count = raw.GetNumberOfPolys()
    print(f"vtkDiscreteMarchingCubes: triangles {count}, peak "
          f"{resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0:.0f} MiB")

    def smoothing():
        smooth = vtkWindowedSincPolyDataFilter()
        smooth.SetInputData(raw)
        smooth.SetNumberOfIterations(20)
        return smooth, count

    def decimation():
        decimate = decimator()
        decimate.SetInputData(raw)
        decimate.SetTargetReduction(max(0.0, 1.0 - TARGET / count))
        return decimate, count

    def chain():
        edges = surface(vtkDiscreteFlyingEdges3D, image)
        smooth = vtkWindowedSincPolyDataFilter()
        smooth.SetInputConnection(edges.GetOutputPort())
        smooth.SetNumberOfIterations(20)
        decimate = decimator()
        decimate.SetInputConnection(smooth.GetOutputPort())
        # FlyingEdges gives the same surface as marching cubes here: the same reduction.
        decimate.SetTargetReduction(max(0.0, 1.0 - TARGET / count))
        return decimate, "mask"

    timed("vtkWindowedSincPolyDataFilter 20", smoothing, repeats)
    timed(f"vtkDecimatePro -> {TARGET}", decimation, repeats)
    timed("chain FlyingEdges3D + WindowedSinc 20 + DecimatePro", chain, repeats)


if __name__ == "__main__":
    main()
