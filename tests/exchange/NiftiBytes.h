#pragma once
// NIfTI-1 single files read and written byte by byte from the format's documented layout,
// with zlib for .nii.gz: the exchange tests check our writer and feed our reader with these,
// not with the NIfTI library that the product uses.

#include <zlib.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace velmora::exchange::test {

// Byte offsets of the NIfTI-1 header fields used here.
enum : std::size_t {
    SIZEOF_HDR = 0,
    DIM = 40,
    DATATYPE = 70,
    BITPIX = 72,
    PIXDIM = 76,
    VOX_OFFSET = 108,
    SCL_SLOPE = 112,
    SCL_INTER = 116,
    XYZT_UNITS = 123,
    QFORM_CODE = 252,
    SFORM_CODE = 254,
    QUATERN_B = 256,
    QOFFSET_X = 268,
    SROW_X = 280,
    MAGIC = 344,
    HEADER_BYTES = 352,
};

//! The whole file, uncompressed when it is gzip (zlib reads plain files as they are).
inline std::vector<std::uint8_t> inflatedBytes(const std::string& path)
{
    std::vector<std::uint8_t> bytes;
    gzFile file = gzopen(path.c_str(), "rb");
    if (file == nullptr)
        return bytes;
    std::uint8_t buffer[1 << 14];
    int got = 0;
    while ((got = gzread(file, buffer, sizeof buffer)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    gzclose(file);
    return bytes;
}

template <typename T>
T fieldOf(const std::vector<std::uint8_t>& bytes, std::size_t offset)
{
    T value{};
    if (offset + sizeof(T) <= bytes.size())
        std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

template <typename T>
void setField(std::vector<std::uint8_t>& bytes, std::size_t offset, T value)
{
    std::memcpy(bytes.data() + offset, &value, sizeof(T));
}

//! A header of a 3-D single-file NIfTI-1 of `datatype` (bits per voxel `bitpix`), voxel
//! sizes in mm, no sform or qform, no scaling; the fields can be changed before writing.
inline std::vector<std::uint8_t> handMadeHeader(std::array<int, 3> size, std::int16_t datatype, std::int16_t bitpix,
                                                std::array<float, 3> spacing = {1.0f, 1.0f, 1.0f})
{
    std::vector<std::uint8_t> bytes(HEADER_BYTES, 0);
    setField<std::int32_t>(bytes, SIZEOF_HDR, 348);
    setField<std::int16_t>(bytes, DIM, 3);
    for (int axis = 0; axis < 3; ++axis) {
        setField<std::int16_t>(bytes, DIM + 2 * (axis + 1), static_cast<std::int16_t>(size[axis]));
        setField<float>(bytes, PIXDIM + 4 * (axis + 1), spacing[axis]);
    }
    for (int axis = 4; axis <= 7; ++axis)
        setField<std::int16_t>(bytes, DIM + 2 * axis, 1);
    setField<std::int16_t>(bytes, DATATYPE, datatype);
    setField<std::int16_t>(bytes, BITPIX, bitpix);
    setField<float>(bytes, VOX_OFFSET, 352.0f);
    bytes[XYZT_UNITS] = 2; // millimetres
    std::memcpy(bytes.data() + MAGIC, "n+1", 4);
    return bytes;
}

//! Writes `header` and `values` to `path`, compressed when it ends in ".gz".
template <typename T>
void writeHandMade(const std::string& path, const std::vector<std::uint8_t>& header, const std::vector<T>& values)
{
    const bool compressed = path.size() > 3 && path.compare(path.size() - 3, 3, ".gz") == 0;
    gzFile file = gzopen(path.c_str(), compressed ? "wb" : "wbT");
    gzwrite(file, header.data(), static_cast<unsigned>(header.size()));
    gzwrite(file, values.data(), static_cast<unsigned>(values.size() * sizeof(T)));
    gzclose(file);
}

} // namespace velmora::exchange::test
