#pragma once
// Marching cubes surface extraction of one region of the segmentation.
//
// Every voxel whose label equals the requested region index is inside; every other voxel
// and everything beyond the volume is outside. Cubes join eight neighbouring voxel
// centres; a vertex sits at the midpoint of every cube edge between an inside and an
// outside corner, so the surface lies half a voxel from the centres of the boundary voxels.
// Coordinates are in the units of the voxel sizes with the origin at the outer corner of
// voxel (0, 0, 0): voxel v's centre is at (v + 0.5) × size along each axis.
//
// The surface is closed and its triangles are counter-clockwise seen from outside, so
// normals by the right-hand rule point out of the region. Vertices are shared between
// cubes through edge caches spanning two slices; memory is proportional to one slice.
//
// Memory: before anything is built, the size of the surface is estimated from the edges
// between inside and outside voxels (each carries one vertex; a closed surface has about
// two triangles per vertex) and checked against the process-wide memory limit, unless
// even a vertex on every cube edge would fit; the mesh's arena checks every block it adds
// as well.
//
// Progress: the total is Z; after each of the Z + 1 slice layers the counter advances and
// the callback gets (counter, Z). A false answer stops the extraction, which returns false
// and leaves in the mesh what was emitted so far. Not thread-safe.

#include "toolkit/img/CVolume.h"
#include "toolkit/mod/CProgress.h"
#include "vctl/MCTriS.h"

#include <cstdint>
#include <vector>

namespace vctl {
class MCVertex;
class MCTri;
}

class CMarchingCubes : public kvo::mod::CProgress
{
public:
    using tRegionVolume = kvo::img::CVolume<std::uint16_t>;

    //! Number of entries of one face-patch list (−1-terminated when shorter).
    static constexpr int PATCH_LIST_LENGTH = 11;

    //! Case table: for each cube code up to four triangles of three edge numbers, −1 after
    //! the last one. Corner i contributes bit i to the code; see the .cpp for the numbering.
    static const std::int8_t CASE_TABLE[256][12];

    //! The codes n of the neighbour cube across the bottom (PZ), front (PY) and left (PX)
    //! face for which cube code c needs two patch triangles on that face; −1-terminated.
    static const std::int16_t (&patchListZ())[256][PATCH_LIST_LENGTH];
    static const std::int16_t (&patchListY())[256][PATCH_LIST_LENGTH];
    static const std::int16_t (&patchListX())[256][PATCH_LIST_LENGTH];

    CMarchingCubes() = default;
    ~CMarchingCubes() override = default;

    //! Sizes of the region volume in voxels (negative sizes count as 0).
    void setDimensions(std::int32_t x, std::int32_t y, std::int32_t z);
    //! Voxel sizes (the units of the output coordinates).
    void setVoxelSize(double dx, double dy, double dz);

    std::int32_t getXSize() const { return m_xSize; }
    std::int32_t getYSize() const { return m_ySize; }
    std::int32_t getZSize() const { return m_zSize; }

    //! Extracts the surface of region `region` of `volume` into `mesh` (not owned; triangles
    //! and vertices are added to what it holds). Voxels outside both the set dimensions and
    //! the volume's own sizes count as outside. `flowReduction` is accepted for the flat-area
    //! step and not used here. Returns true when done, false when the progress callback
    //! asked to stop (or mesh is null). On success the default progress callback is put
    //! back. Throws std::bad_alloc when the slice planes cannot be allocated, and
    //! kvo::sys::CMemoryLimitExceeded, before the mesh changes, when the estimated surface
    //! (with what the mesh holds already) would pass the memory limit, or later when the
    //! mesh grows past it after all.
    bool extract(vctl::MCTriS* mesh, int region, const tRegionVolume& volume, bool flowReduction = false);

    //! The number of cube edges of the extraction between an inside and an outside voxel
    //! (voxels beyond the volume are outside): exactly the vertex count of the surface.
    static std::uint64_t countBoundaryEdges(std::int32_t X, std::int32_t Y, std::int32_t Z, int region,
                                            const tRegionVolume& volume);
    //! Bytes of a mesh of a closed surface with that many vertices: the vertices and about
    //! two triangles each, with an eighth more for surfaces of many handles.
    static std::uint64_t estimateMeshBytes(std::uint64_t vertices);

protected:
    vctl::MCTriS* m_mesh = nullptr;
    //! Triangles awaiting the flat-area reduction.
    std::vector<vctl::MCTri*> m_workList;

private:
    struct CSlicePlanes;

    void emitCube(CSlicePlanes& planes, std::int32_t k, std::int32_t j, std::size_t position, int code);
    vctl::MCVertex* edgeVertex(CSlicePlanes& planes, std::size_t position, int edge);

    std::int32_t m_xSize = 0;
    std::int32_t m_ySize = 0;
    std::int32_t m_zSize = 0;
    double m_dx = 1.0;
    double m_dy = 1.0;
    double m_dz = 1.0;
    //! Corner positions of the current cube, corner i as (x, y, z).
    double m_corner[8][3] = {};
};
