// Marching cubes over a region volume, slice by slice.
//
// Stages of one slice layer d (d = 0 .. Z; layer Z closes the surface beyond the last slice):
//   1. inside flags of voxel slice d into the current flag plane (row j + 1, column k + 1
//      holds voxel (k, j); row 0, column 0 and everything beyond the volume stay 0),
//   2. the code of every cube (k, j) between slices d − 1 and d, k = 0 .. X, j = 0 .. Y,
//      stored in the current code plane at (j + 1, k + 1),
//   3. for a code other than 0 and 255, the case triangles, then the face patches against
//      the cubes below, in front and to the left,
//   4. progress, then the planes swap and the new current ones are cleared.
//
// Vertex caches: x- and y-edge planes of the previous and the current slice and one plane
// of vertical edges between them; an edge's vertex is created by the first cube that needs
// it and found in its slot by the others. Slots are cleared through lists of the slots
// that were filled, so the cost of clearing follows the surface, not the slice area.

#include "plugins/ostrum/mc/CMarchingCubes.h"

#include "toolkit/sys/MemoryLimit.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

using vctl::MCTri;
using vctl::MCVertex;

namespace {

//! The two corners of each edge.
constexpr int EDGE_CORNERS[12][2] = {{0, 1}, {1, 2}, {2, 3}, {0, 3}, {0, 4}, {1, 5},
                                     {2, 6}, {3, 7}, {4, 5}, {5, 6}, {6, 7}, {4, 7}};

//! Unit offsets of the corners along x, y and z.
constexpr int CORNER_OFFSET[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                     {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};

//! Vertex planes.
enum EPlane
{
    PREVIOUS_X = 0,
    PREVIOUS_Y = 1,
    CURRENT_X = 2,
    CURRENT_Y = 3,
    VERTICAL = 4,
    PLANE_COUNT = 5
};

//! The cache slot of each edge of cube (k, j): plane, row offset from j, column offset from k.
struct CEdgeSlot
{
    int plane;
    int row;
    int column;
};
constexpr CEdgeSlot EDGE_SLOT[12] = {
    {PREVIOUS_X, 0, 0}, {PREVIOUS_Y, 0, 1}, {PREVIOUS_X, 1, 0}, {PREVIOUS_Y, 0, 0},
    {VERTICAL, 0, 0},   {VERTICAL, 0, 1},   {VERTICAL, 1, 1},   {VERTICAL, 1, 0},
    {CURRENT_X, 0, 0},  {CURRENT_Y, 0, 1},  {CURRENT_X, 1, 0},  {CURRENT_Y, 0, 0},
};

//! Cube code from the flags of the cube's two corner columns. A column's four flags are
//! packed as bit 0 = previous slice row j, bit 1 = previous row j + 1, bit 2 = current
//! row j, bit 3 = current row j + 1; the left column (k) in the low nibble of the index,
//! the right column (k + 1) in the high nibble.
struct CCodeTable
{
    std::uint8_t code[256];
    CCodeTable()
    {
        for (int index = 0; index < 256; ++index)
        {
            const int left = index & 15;
            const int right = index >> 4;
            const auto bit = [](int column, int b) { return (column >> b) & 1; };
            code[index] = static_cast<std::uint8_t>(bit(left, 0) << 0 | bit(right, 0) << 1 | bit(right, 1) << 2 |
                                                    bit(left, 1) << 3 | bit(left, 2) << 4 | bit(right, 2) << 5 |
                                                    bit(right, 3) << 6 | bit(left, 3) << 7);
        }
    }
};
const CCodeTable CODE_TABLE;

//! The face-patch lists in their compact form: each group pairs a set of cube codes with
//! the neighbour codes that need a patch. Code n is listed for code c exactly when the
//! shared face is ambiguous with the same corner states in both cubes and exactly one of
//! c and n has at most four inside corners (the two then cut the face differently).
struct CPatchGroup
{
    std::int16_t codes[12];
    std::int16_t neighbours[12];
};

// clang-format off
constexpr CPatchGroup PATCH_GROUPS_Z[] = {
    {{5, 21, 37, 53, 69, 85, 101, 133, 149, 165, 197, -1}, {87, 91, 93, 94, 95, -1}},
    {{10, 26, 42, 58, 74, 90, 106, 138, 154, 170, 202, -1}, {167, 171, 173, 174, 175, -1}},
    {{117, 181, 213, 229, 245, -1}, {80, 81, 82, 83, 84, 85, 86, 88, 89, 90, 92, -1}},
    {{122, 186, 218, 234, 250, -1}, {160, 161, 162, 163, 164, 165, 166, 168, 169, 170, 172, -1}},
};
constexpr CPatchGroup PATCH_GROUPS_Y[] = {
    {{18, 22, 26, 30, 82, 86, 90, 146, 150, 154, 210, -1}, {151, 167, 181, 182, 183, -1}},
    {{33, 37, 41, 45, 97, 101, 105, 161, 165, 169, 225, -1}, {91, 107, 121, 122, 123, -1}},
    {{94, 158, 214, 218, 222, -1}, {132, 133, 134, 135, 148, 149, 150, 164, 165, 166, 180, -1}},
    {{109, 173, 229, 233, 237, -1}, {72, 73, 74, 75, 88, 89, 90, 104, 105, 106, 120, -1}},
};
constexpr CPatchGroup PATCH_GROUPS_X[] = {
    {{24, 26, 28, 30, 56, 58, 60, 88, 90, 92, 120, -1}, {61, 173, 181, 188, 189, -1}},
    {{62, 94, 122, 124, 126, -1}, {36, 37, 44, 45, 52, 53, 60, 164, 165, 172, 180, -1}},
    {{129, 131, 133, 135, 161, 163, 165, 193, 195, 197, 225, -1}, {91, 203, 211, 218, 219, -1}},
    {{167, 199, 227, 229, 231, -1}, {66, 67, 74, 75, 82, 83, 90, 194, 195, 202, 210, -1}},
};
// clang-format on

struct CPatchList
{
    std::int16_t list[256][CMarchingCubes::PATCH_LIST_LENGTH];

    template <std::size_t N>
    explicit CPatchList(const CPatchGroup (&groups)[N])
    {
        for (auto& row : list)
            std::fill(std::begin(row), std::end(row), std::int16_t(-1));
        for (const CPatchGroup& group : groups)
        {
            for (int i = 0; i < 12 && group.codes[i] >= 0; ++i)
            {
                for (int n = 0; n < CMarchingCubes::PATCH_LIST_LENGTH && group.neighbours[n] >= 0; ++n)
                    list[group.codes[i]][n] = group.neighbours[n];
            }
        }
    }
};

const CPatchList& patchZ()
{
    static const CPatchList lists(PATCH_GROUPS_Z);
    return lists;
}
const CPatchList& patchY()
{
    static const CPatchList lists(PATCH_GROUPS_Y);
    return lists;
}
const CPatchList& patchX()
{
    static const CPatchList lists(PATCH_GROUPS_X);
    return lists;
}

bool isListed(const std::int16_t (&list)[CMarchingCubes::PATCH_LIST_LENGTH], int code)
{
    for (int i = 0; i < CMarchingCubes::PATCH_LIST_LENGTH && list[i] >= 0; ++i)
    {
        if (list[i] == code)
            return true;
    }
    return false;
}

} // namespace

const std::int16_t (&CMarchingCubes::patchListZ())[256][PATCH_LIST_LENGTH]
{
    return patchZ().list;
}
const std::int16_t (&CMarchingCubes::patchListY())[256][PATCH_LIST_LENGTH]
{
    return patchY().list;
}
const std::int16_t (&CMarchingCubes::patchListX())[256][PATCH_LIST_LENGTH]
{
    return patchX().list;
}

//! The working planes of one run: S × R elements each, freed with the run.
struct CMarchingCubes::CSlicePlanes
{
    std::size_t stride;
    std::size_t rows;
    std::vector<std::uint8_t> previousFlags, currentFlags;
    std::vector<std::uint8_t> previousCodes, currentCodes;
    std::vector<MCVertex*> vertices[PLANE_COUNT];
    std::vector<std::uint32_t> filled[PLANE_COUNT]; //!< slots set in each vertex plane
    double z0 = 0.0;

    CSlicePlanes(std::size_t s, std::size_t r) : stride(s), rows(r)
    {
        const std::size_t elements = s * r;
        // Slot positions are kept as 32-bit numbers; planes beyond that are refused as
        // out of memory, as any request above 2^32 − 1 bytes is.
        if (elements > (0xFFFFFFFFull / 4))
            throw std::bad_alloc();
        previousFlags.assign(elements, 0);
        currentFlags.assign(elements, 0);
        previousCodes.assign(elements, 0);
        currentCodes.assign(elements, 0);
        for (auto& plane : vertices)
            plane.assign(elements, nullptr);
    }

    void clearVertices(int plane)
    {
        MCVertex** slots = vertices[plane].data();
        for (std::uint32_t position : filled[plane])
            slots[position] = nullptr;
        filled[plane].clear();
    }

    //! Previous ← current for flags, codes and the x- and y-edge vertices; the new current
    //! vertex planes and the vertical plane are cleared. (The flag and code planes are
    //! rewritten whole by the next layer.)
    void advance()
    {
        previousFlags.swap(currentFlags);
        previousCodes.swap(currentCodes);
        vertices[PREVIOUS_X].swap(vertices[CURRENT_X]);
        filled[PREVIOUS_X].swap(filled[CURRENT_X]);
        vertices[PREVIOUS_Y].swap(vertices[CURRENT_Y]);
        filled[PREVIOUS_Y].swap(filled[CURRENT_Y]);
        clearVertices(CURRENT_X);
        clearVertices(CURRENT_Y);
        clearVertices(VERTICAL);
    }
};

void CMarchingCubes::setDimensions(std::int32_t x, std::int32_t y, std::int32_t z)
{
    m_xSize = std::max(x, 0);
    m_ySize = std::max(y, 0);
    m_zSize = std::max(z, 0);
}

void CMarchingCubes::setVoxelSize(double dx, double dy, double dz)
{
    m_dx = dx;
    m_dy = dy;
    m_dz = dz;
}

MCVertex* CMarchingCubes::edgeVertex(CSlicePlanes& planes, std::size_t position, int edge)
{
    const CEdgeSlot& slot = EDGE_SLOT[edge];
    const std::size_t index = position + slot.row * planes.stride + slot.column;
    MCVertex*& vertex = planes.vertices[slot.plane][index];
    if (!vertex)
    {
        const double* a = m_corner[EDGE_CORNERS[edge][0]];
        const double* b = m_corner[EDGE_CORNERS[edge][1]];
        vertex = m_mesh->getVertices().addVertex((a[0] + b[0]) * 0.5, (a[1] + b[1]) * 0.5, (a[2] + b[2]) * 0.5);
        planes.filled[slot.plane].push_back(static_cast<std::uint32_t>(index));
    }
    return vertex;
}

void CMarchingCubes::emitCube(CSlicePlanes& planes, std::int32_t k, std::int32_t j, std::size_t position, int code)
{
    const double x0 = (k - 0.5) * m_dx;
    const double y0 = (j - 0.5) * m_dy;
    const double xs[2] = {x0, x0 + m_dx};
    const double ys[2] = {y0, y0 + m_dy};
    const double zs[2] = {planes.z0, planes.z0 + m_dz};
    for (int i = 0; i < 8; ++i)
    {
        m_corner[i][0] = xs[CORNER_OFFSET[i][0]];
        m_corner[i][1] = ys[CORNER_OFFSET[i][1]];
        m_corner[i][2] = zs[CORNER_OFFSET[i][2]];
    }

    // No case triangle has its three vertices on the edges of one face, so it lies in no
    // other cube: it is new and needs no search. (Patches lie in a face and are searched.)
    const std::int8_t* row = CASE_TABLE[code];
    for (int t = 0; t < 4 && row[3 * t] >= 0; ++t)
    {
        MCVertex* a = edgeVertex(planes, position, row[3 * t]);
        MCVertex* b = edgeVertex(planes, position, row[3 * t + 1]);
        MCVertex* c = edgeVertex(planes, position, row[3 * t + 2]);
        m_mesh->appendTri(a, b, c);
    }

    // Face patches: where this cube and the neighbour across a shared ambiguous face cut it
    // differently (exactly one of them has five or more inside corners), two triangles
    // across the face close the gap between the two cuts.
    const bool fewInside = std::popcount(static_cast<unsigned>(code)) < 5;
    const auto patch = [&](int e0, int e1, int e2, int e3) {
        MCVertex* v0 = edgeVertex(planes, position, e0);
        MCVertex* v1 = edgeVertex(planes, position, e1);
        MCVertex* v2 = edgeVertex(planes, position, e2);
        MCVertex* v3 = edgeVertex(planes, position, e3);
        if (fewInside)
        {
            m_mesh->addTri(v0, v1, v2);
            m_mesh->addTri(v2, v3, v0);
        }
        else
        {
            m_mesh->addTri(v0, v2, v1);
            m_mesh->addTri(v2, v0, v3);
        }
    };
    const std::size_t codePosition = position + planes.stride + 1; // (row j + 1, column k + 1)
    const auto& listZ = patchZ().list[code];
    if (listZ[0] >= 0 && isListed(listZ, planes.previousCodes[codePosition]))
        patch(0, 1, 2, 3);
    const auto& listY = patchY().list[code];
    if (listY[0] >= 0 && isListed(listY, planes.currentCodes[codePosition - planes.stride]))
        patch(0, 4, 8, 5);
    const auto& listX = patchX().list[code];
    if (listX[0] >= 0 && isListed(listX, planes.currentCodes[codePosition - 1]))
        patch(3, 7, 11, 4);
}

std::uint64_t CMarchingCubes::countBoundaryEdges(std::int32_t X, std::int32_t Y, std::int32_t Z, int region,
                                                 const tRegionVolume& volume)
{
    if (region < 0 || region > 0xFFFF)
        return 0;
    const auto label = static_cast<std::uint16_t>(region);
    // Only voxels within both the dimensions and the volume can be inside.
    const std::int32_t xRead = std::clamp(std::min(X, volume.getXSize()), 0, X);
    const std::int32_t yRead = std::clamp(std::min(Y, volume.getYSize()), 0, Y);
    const std::int32_t zRead = std::clamp(std::min(Z, volume.getZSize()), 0, Z);
    if (xRead == 0 || yRead == 0 || zRead == 0)
        return 0;
    // Each inside voxel has six edges to its neighbours; an edge between two inside voxels
    // is no boundary and is taken off twice (once from each end): 6 × inside − 2 × pairs.
    // Flags are bytes 0 or 1 in rows padded with zeros to whole words, so that the pairs of
    // eight voxels are counted at once: the set bits of (row AND neighbour row).
    static_assert(std::endian::native == std::endian::little, "byte k of a word is bits 8k .. 8k + 7");
    const std::size_t words = (std::size_t(xRead) + 1 + 7) / 8;
    const std::size_t stride = words * 8;
    std::vector<std::uint8_t> previous(stride * std::size_t(yRead), 0), current(stride * std::size_t(yRead), 0);
    const auto word = [](const std::uint8_t* p) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        return w;
    };
    // The set bytes of a word of 0/1 bytes: their sum, gathered in the top byte.
    const auto ones = [](std::uint64_t w) { return (w * 0x0101010101010101ull) >> 56; };
    std::uint64_t inside = 0, pairs = 0;
    for (std::int32_t d = 0; d < zRead; ++d)
    {
        for (std::int32_t j = 0; j < yRead; ++j)
        {
            const std::uint16_t* labels = volume.getRowPtr(j, d);
            std::uint8_t* flags = current.data() + std::size_t(j) * stride;
            // Whole groups of 16 first: a loop of fixed length into a local array, which the
            // compiler turns into vector compares.
            std::int32_t k = 0;
            for (; k + 16 <= xRead; k += 16)
            {
                std::uint8_t group[16];
                for (int i = 0; i < 16; ++i)
                    group[i] = labels[k + i] == label;
                std::memcpy(flags + k, group, sizeof group);
            }
            for (; k < xRead; ++k)
                flags[k] = labels[k] == label;
            const std::uint8_t* below = j > 0 ? flags - stride : nullptr;
            const std::uint8_t* before = previous.data() + std::size_t(j) * stride;
            for (std::size_t w = 0; w < words; ++w)
            {
                const std::uint64_t here = word(flags + 8 * w);
                if (!here)
                    continue;
                // The next word's first byte is in reach: rows carry at least one zero after
                // the last voxel.
                const std::uint64_t right = w + 1 < words ? here >> 8 | word(flags + 8 * w + 8) << 56 : here >> 8;
                inside += ones(here);
                pairs += ones(here & right) + ones(here & word(before + 8 * w)) +
                         (below ? ones(here & word(below + 8 * w)) : 0);
            }
        }
        previous.swap(current);
    }
    return 6 * inside - 2 * pairs;
}

std::uint64_t CMarchingCubes::estimateMeshBytes(std::uint64_t vertices)
{
    const std::uint64_t bytes = vertices * sizeof(MCVertex) + 2 * vertices * sizeof(MCTri);
    return bytes + bytes / 8;
}

bool CMarchingCubes::extract(vctl::MCTriS* mesh, int region, const tRegionVolume& volume, bool /*flowReduction*/)
{
    if (!mesh)
        return false; // nothing to build into
    const std::int32_t X = m_xSize, Y = m_ySize, Z = m_zSize;
    // The surface is counted only when the most it could hold (a vertex on every edge of
    // every cube) would not fit: usually the limit is far above that and nothing is read.
    const std::uint64_t held = mesh->getVertices().getArena().getBytes();
    std::uint64_t cubes = 0;
    const bool unbounded = __builtin_mul_overflow(std::uint64_t(X) + 1, std::uint64_t(Y) + 1, &cubes) ||
                           __builtin_mul_overflow(cubes, std::uint64_t(Z) + 1, &cubes) || cubes > (std::uint64_t(1) << 48);
    if (unbounded || held + estimateMeshBytes(3 * cubes) > kvo::sys::getMemoryLimit())
        kvo::sys::checkMemory(held + estimateMeshBytes(countBoundaryEdges(X, Y, Z, region, volume)), "The surface mesh");
    m_mesh = mesh;
    const std::size_t S = std::size_t(X) + 10;
    const std::size_t R = std::size_t(Y) + 10;
    CSlicePlanes planes(S, R);
    beginProgress(Z);

    // Labels are read only where both the set dimensions and the volume have voxels.
    const std::int32_t xRead = std::min(X, volume.getXSize());
    const std::int32_t yRead = std::min(Y, volume.getYSize());
    const std::int32_t zRead = std::min(Z, volume.getZSize());
    const bool validLabel = region >= 0 && region <= 0xFFFF;
    const std::uint16_t label = static_cast<std::uint16_t>(validLabel ? region : 0);

    for (std::int32_t d = 0; d <= Z; ++d)
    {
        planes.z0 = (d - 0.5) * m_dz;

        // Stage 1: inside flags of slice d.
        std::uint8_t* flags = planes.currentFlags.data();
        for (std::int32_t j = 0; j < Y; ++j)
        {
            std::uint8_t* flagRow = flags + (j + 1) * S + 1;
            std::int32_t k = 0;
            if (validLabel && d < zRead && j < yRead)
            {
                const std::uint16_t* labels = volume.getRowPtr(j, d);
                for (; k < xRead; ++k)
                    flagRow[k] = labels[k] == label ? 1 : 0;
            }
            std::fill(flagRow + k, flagRow + X, std::uint8_t(0));
        }

        // Stages 2 and 3: cube codes and triangles, row by row.
        const std::uint8_t* previous = planes.previousFlags.data();
        const std::uint8_t* current = planes.currentFlags.data();
        std::uint8_t* codes = planes.currentCodes.data();
        for (std::int32_t j = 0; j <= Y; ++j)
        {
            const std::uint8_t* p0 = previous + j * S;
            const std::uint8_t* p1 = p0 + S;
            const std::uint8_t* c0 = current + j * S;
            const std::uint8_t* c1 = c0 + S;
            std::uint8_t* codeRow = codes + (j + 1) * S + 1;
            int left = p0[0] | p1[0] << 1 | c0[0] << 2 | c1[0] << 3;
            for (std::int32_t k = 0; k <= X; ++k)
            {
                // Empty space: when the four flag rows are 0 over columns k .. k + 7, the
                // cubes k .. k + 6 all have code 0. (Rows are X + 10 bytes long, so the
                // eight bytes lie inside the row.)
                if (left == 0 && k + 7 <= X)
                {
                    std::uint64_t a, b, c, e;
                    std::memcpy(&a, p0 + k, 8);
                    std::memcpy(&b, p1 + k, 8);
                    std::memcpy(&c, c0 + k, 8);
                    std::memcpy(&e, c1 + k, 8);
                    if ((a | b | c | e) == 0)
                    {
                        std::memset(codeRow + k, 0, 7);
                        k += 6; // the loop steps to k + 7, whose left column is empty
                        continue;
                    }
                }
                const int right = p0[k + 1] | p1[k + 1] << 1 | c0[k + 1] << 2 | c1[k + 1] << 3;
                const int code = CODE_TABLE.code[left | right << 4];
                codeRow[k] = static_cast<std::uint8_t>(code);
                if (code != 0 && code != 255)
                    emitCube(planes, k, j, std::size_t(j) * S + k, code);
                left = right;
            }
        }

        // Stage 4.
        if (!progress())
            return false;
        planes.advance();
    }
    restoreDefaultCallback();
    return true;
}
