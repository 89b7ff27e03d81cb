#include "host/views/CSliceRenderer.h"

#include "host/views/CSliceGeometry.h"

#include <algorithm>
#include <cstring>

namespace velmora::views {

namespace {

// First voxel of slice row v (the row at v along the slice's vertical axis).
template <class T>
const T* rowStart(const kvo::img::CVolume<T>& volume, int axis, int index, int v)
{
    switch (axis)
    {
    case AXIS_XY: return volume.getPtr(0, v, index);
    case AXIS_XZ: return volume.getPtr(0, index, v);
    default: return volume.getPtr(index, 0, v);
    }
}

} // namespace

CSliceRenderer::CImage CSliceRenderer::render(int axis, int index, const kvo::img::CVolume<std::int16_t>& density,
                                              const kvo::img::CVolume<std::uint16_t>* labels,
                                              const std::vector<std::uint8_t>& greyTable, const CRegionOverlay& overlay)
{
    CImage image;
    const std::array<int, 3> size{density.getXSize(), density.getYSize(), density.getZSize()};
    if (axis < 0 || axis > 2 || index < 0 || index >= size[axis] || greyTable.size() != 65536)
        return image;
    const CSliceGeometry geometry(axis, size, {1.0, 1.0, 1.0}, 1, 1);
    const int columns = geometry.getColumns();
    const int rows = geometry.getRows();
    if (columns == 0 || rows == 0)
        return image;
    const bool blend = labels && !overlay.isEmpty() && labels->getXSize() == size[0] &&
                       labels->getYSize() == size[1] && labels->getZSize() == size[2];
    const std::ptrdiff_t densityStep = axis == AXIS_YZ ? density.getYOffset() : 1;
    const std::ptrdiff_t labelStep = blend && axis == AXIS_YZ ? labels->getYOffset() : 1;

    image.width = columns;
    image.height = rows;
    image.rgb.resize(std::size_t(image.width) * image.height * 3);
    const std::uint8_t* grey = greyTable.data() + 32768;
    for (int v = 0; v < rows; ++v)
    {
        const int row = geometry.isFlipped() ? rows - 1 - v : v;
        std::uint8_t* out = image.rgb.data() + std::size_t(row) * image.width * 3;
        const std::int16_t* d = rowStart(density, axis, index, v);
        if (!blend)
        {
            for (int u = 0; u < columns; ++u, d += densityStep, out += 3)
                out[0] = out[1] = out[2] = grey[*d];
            continue;
        }
        const std::uint16_t* l = rowStart(*labels, axis, index, v);
        for (int u = 0; u < columns; ++u, d += densityStep, l += labelStep, out += 3)
        {
            const std::uint8_t g = grey[*d];
            const CRegionOverlay::CBlend& c = overlay.get(*l);
            out[0] = CRegionOverlay::blend(g, c.red, c.keep);
            out[1] = CRegionOverlay::blend(g, c.green, c.keep);
            out[2] = CRegionOverlay::blend(g, c.blue, c.keep);
        }
    }
    return image;
}

CSliceRenderer::CImage CSliceRenderer::scale(const CImage& source, int width, int height)
{
    CImage image;
    if (source.isEmpty() || width <= 0 || height <= 0)
        return image;
    image.width = width;
    image.height = height;
    image.rgb.resize(std::size_t(width) * height * 3);
    std::vector<int> column(width);
    for (int i = 0; i < width; ++i)
        column[i] = std::min(source.width - 1, static_cast<int>((2 * std::int64_t(i) + 1) * source.width / (2 * width)));
    const std::size_t rowBytes = std::size_t(width) * 3;
    int previousRow = -1;
    for (int j = 0; j < height; ++j)
    {
        const int sourceRow = std::min(source.height - 1, static_cast<int>((2 * std::int64_t(j) + 1) * source.height / (2 * height)));
        std::uint8_t* out = image.rgb.data() + j * rowBytes;
        if (sourceRow == previousRow)
        {
            std::memcpy(out, out - rowBytes, rowBytes); // same source row as the line above
            continue;
        }
        previousRow = sourceRow;
        const std::uint8_t* in = source.rgb.data() + std::size_t(sourceRow) * source.width * 3;
        for (int i = 0; i < width; ++i, out += 3)
        {
            const std::uint8_t* p = in + 3 * column[i];
            out[0] = p[0];
            out[1] = p[1];
            out[2] = p[2];
        }
    }
    return image;
}

} // namespace velmora::views
