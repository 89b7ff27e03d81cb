#include "data/CRegionData.h"

#include "data/CDataStorage.h"
#include "data/CObjectPtr.h"
#include "data/CRegionColoring.h"
#include "data/CRunLengthCode.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace data {

namespace {

using kvo::mod::Serializer::CReadFailed;

// Decodes one slice's run-length code into `out` (exactly `count` values). False when the
// code gives more or fewer values than that, holds an empty run, or leaves values unused.
bool decodeSlice(const std::vector<std::uint8_t>& controls, const std::vector<std::uint16_t>& values,
                 std::uint16_t* out, std::size_t count)
{
    std::size_t written = 0;
    std::size_t used = 0;
    for (const std::uint8_t control : controls)
    {
        const std::size_t run = control & 0x7Fu;
        if (run == 0 || run > count - written)
            return false;
        if (control & CRunLengthCode::REPEAT)
        {
            if (used >= values.size())
                return false;
            std::fill_n(out + written, run, values[used++]);
        }
        else
        {
            if (run > values.size() - used)
                return false;
            std::memcpy(out + written, values.data() + used, run * sizeof(std::uint16_t));
            used += run;
        }
        written += run;
    }
    return written == count && used == values.size();
}

} // namespace

void CRegionData::serialize(kvo::mod::CBinarySerializer& serializer)
{
    const std::int32_t xSize = getXSize();
    const std::int32_t ySize = getYSize();
    const std::int32_t zSize = getZSize();
    serializer.beginWrite(BLOCK_NAME, BLOCK_METHOD, BLOCK_SIZE);
    serializer.beginChecksum();
    serializer.writeUInt32(LAYOUT_VERSION);
    serializer.writeInt32(xSize);
    serializer.writeInt32(ySize);
    serializer.writeInt32(zSize);
    serializer.writeUInt32(m_showRegions ? 1 : 0);
    CRunLengthCode code;
    for (std::int32_t z = 0; z < zSize; ++z)
    {
        code.begin(std::int64_t(xSize) * ySize);
        for (std::int32_t y = 0; y < ySize; ++y)
            code.encode(getRowPtr(y, z), std::size_t(xSize));
        const std::vector<std::uint8_t>& controls = code.getControls();
        const std::vector<std::uint16_t>& values = code.getValues();
        serializer.writeUInt32(std::uint32_t(controls.size()));
        serializer.writeUInt32(std::uint32_t(values.size()));
        serializer.writeArray(controls.data(), controls.size());
        serializer.writeArray(values.data(), values.size());
    }
    serializer.writeUInt32(serializer.endChecksum());
    serializer.endWrite();
}

void CRegionData::deserialize(kvo::mod::CBinarySerializer& serializer)
{
    serializer.beginRead(BLOCK_NAME);
    serializer.beginChecksum();
    const std::uint32_t version = serializer.readUInt32();
    const std::int32_t xSize = serializer.readInt32();
    const std::int32_t ySize = serializer.readInt32();
    const std::int32_t zSize = serializer.readInt32();
    const std::uint32_t shown = serializer.readUInt32();
    if (version != LAYOUT_VERSION || xSize != getXSize() || ySize != getYSize() || zSize != getZSize() || shown > 1)
        throw CReadFailed();

    // Every buffer is bounded by one slice of this volume, whatever the stream says.
    const std::size_t sliceCount = std::size_t(xSize) * std::size_t(ySize);
    std::vector<std::uint8_t> controls;
    std::vector<std::uint16_t> values;
    const bool direct = getMargin() == 0;
    std::vector<std::uint16_t> slice(direct ? 0 : sliceCount);
    for (std::int32_t z = 0; z < zSize; ++z)
    {
        const std::uint32_t controlCount = serializer.readUInt32();
        const std::uint32_t valueCount = serializer.readUInt32();
        if (controlCount > sliceCount || valueCount > sliceCount)
            throw CReadFailed();
        controls.resize(controlCount);
        values.resize(valueCount);
        serializer.readArray(controls.data(), controls.size());
        serializer.readArray(values.data(), values.size());
        std::uint16_t* out = direct ? getRowPtr(0, z) : slice.data();
        if (!decodeSlice(controls, values, out, sliceCount))
            throw CReadFailed();
        if (!direct && xSize > 0)
        {
            for (std::int32_t y = 0; y < ySize; ++y)
                std::memcpy(getRowPtr(y, z), slice.data() + std::size_t(y) * xSize, std::size_t(xSize) * 2);
        }
    }
    const std::uint32_t checksum = serializer.endChecksum();
    if (serializer.readUInt32() != checksum)
        throw CReadFailed();
    serializer.endRead();
    m_showRegions = shown != 0;
}

std::uint16_t CRegionData::getLargestLabel() const
{
    std::uint16_t largest = 0;
    for (std::int32_t z = 0; z < getZSize(); ++z)
    {
        for (std::int32_t y = 0; y < getYSize(); ++y)
        {
            const std::uint16_t* row = getRowPtr(y, z);
            for (std::int32_t x = 0; x < getXSize(); ++x)
                largest = std::max(largest, row[x]);
        }
    }
    return largest;
}

namespace {

// The labels and the colour table of one moment.
class CRegionStateSnapshot : public CVolumeSnapshot<CRegionData::tVolume>
{
public:
    CRegionStateSnapshot(const CRegionData& regions, std::int32_t coloringId, CRegionColoring::CState coloring,
                         CUndoProvider* provider)
        : CVolumeSnapshot<CRegionData::tVolume>(KIND_VOLUME, regions, provider), m_coloringId(coloringId),
          m_coloring(std::move(coloring))
    {
    }
    std::size_t getDataSize() const override
    {
        return CVolumeSnapshot<CRegionData::tVolume>::getDataSize() + m_coloring.getDataSize();
    }
    std::int32_t getColoringId() const { return m_coloringId; }
    const CRegionColoring::CState& getColoring() const { return m_coloring; }

private:
    std::int32_t m_coloringId;
    CRegionColoring::CState m_coloring;
};

} // namespace

CRegionData::tSnapshotPtr CRegionData::createRegionStateSnapshot(std::int32_t coloringId)
{
    CDataStorage* storage = getUndoStorage();
    if (!storage || !CDataStorage::isValidId(coloringId))
        return createVolumeSnapshot();
    try
    {
        CObjectPtr<CRegionColoring> coloring(storage->getEntry(coloringId, CDataStorage::REQUEST_CREATE | CDataStorage::REQUEST_UPDATE));
        return new CRegionStateSnapshot(*this, coloringId, coloring->getState(), this);
    }
    catch (const kvo::base::CException&)
    {
        return createVolumeSnapshot(); // no colour table there
    }
}

CRegionData::tSnapshotPtr CRegionData::createSnapshotLike(const CSnapshot* snapshot)
{
    if (auto* state = dynamic_cast<const CRegionStateSnapshot*>(snapshot))
        return createRegionStateSnapshot(state->getColoringId());
    return tUndo::createSnapshotLike(snapshot);
}

void CRegionData::restore(const CSnapshot* snapshot)
{
    tUndo::restore(snapshot);
    auto* state = dynamic_cast<const CRegionStateSnapshot*>(snapshot);
    CDataStorage* storage = getUndoStorage();
    if (!state || !storage)
        return;
    CEntryPtr entry;
    try
    {
        entry = storage->getEntry(state->getColoringId(), CDataStorage::REQUEST_CREATE | CDataStorage::REQUEST_UPDATE);
        CObjectPtr<CRegionColoring>(entry)->setState(state->getColoring());
    }
    catch (const kvo::base::CException&)
    {
        return; // the table is gone: the labels alone come back
    }
    storage->invalidate(entry, 0);
}

} // namespace data
