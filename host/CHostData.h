#pragma once
// The host's side of the shared data: which objects the storage's factory creates for which
// entries (and their dependencies), loading a data set into the storage, undo and redo over
// the history, and read-only queries for scripts and views.

#include "data/StorageEntries.h"
#include "host/import/CLoadedVolume.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace data {
class CDataStorage;
class CStorableFactory;
} // namespace data

namespace velmora {

//! Entries of the host's storage.
enum EHostEntries : int
{
    ENTRY_ACTIVE_DATA_SET = data::entries::ENTRY_ACTIVE_DATA_SET,
    ENTRY_ORTHO_SLICE_XY = data::entries::ENTRY_ORTHO_SLICE_XY,
    ENTRY_DATA_SET_LIST = data::entries::ENTRY_DATA_SET_LIST,
    ENTRY_DATA_STATS = data::entries::ENTRY_DATA_STATS,
    ENTRY_DENSITY = 200,     //!< density entries: each new data set takes the one that
    ENTRY_DENSITY_ALT = 201, //!< is not active, so entry 11 names another entry after a load
    ENTRY_REGION_DATA = data::entries::ENTRY_REGION_DATA,
    ENTRY_REGION_COLORING = data::entries::ENTRY_REGION_COLORING,
    ENTRY_DRAWING_OPTIONS = data::entries::ENTRY_DRAWING_OPTIONS,
    ENTRY_UNDO_MANAGER = data::entries::ENTRY_UNDO_MANAGER,
    ENTRY_MODEL = data::entries::ENTRY_MODEL
};

struct CRegionInfo
{
    std::string name;
    std::uint8_t red = 0, green = 0, blue = 0, alpha = 0;
    bool visible = true;
};

class CHostData
{
public:
    //! Size limit of the undo history in bytes.
    static constexpr std::uint64_t UNDO_LIMIT_BYTES = 512ull * 1024 * 1024;

    explicit CHostData(data::CDataStorage& storage) : m_storage(storage) {}

    //! Registers the creation functions and dependencies of every host entry.
    static void registerObjects(data::CStorableFactory& factory);
    //! Creates the entries' objects (first request) so that observers can connect.
    void createEntries();

    //! Replaces the data set: density entry filled, region volume sized to it with every
    //! label 0 and its undo provider set to entry 501, the colouring reset to the default
    //! table, the undo and redo history cleared, the model emptied; announces 101, 501, 502
    //! and 801, then 11.
    void loadDataSet(const import::CLoadedVolume& volume);
    //! As loadDataSet, and the volume's voxels become the density volume's buffer without a
    //! copy (the volume keeps its warnings and is left without voxels).
    void takeDataSet(import::CLoadedVolume& volume);

    //! Undo and redo over entry 557; false when there is nothing to undo or redo.
    bool undo();
    bool redo();

    bool hasData();
    std::array<int, 3> getDimensions();
    std::array<double, 3> getSpacing();
    //! Where the current data set lies in the patient (as its source gave it).
    const import::CPatientGeometry& getGeometry() const { return m_geometry; }
    std::array<int, 2> getDensityRange();
    //! Label at a voxel; -1 outside the volume.
    int getLabel(int x, int y, int z);
    //! Voxels per label, for the labels present.
    std::map<int, std::int64_t> getLabelCounts();
    std::vector<CRegionInfo> getRegions();
    int getActiveRegion();
    //! Triangles and vertices of the model in entry 801 (0, 0 without a mesh).
    std::array<std::int64_t, 2> getModelCounts();
    //! What is wrong with the storage, one sentence each; empty when it is consistent: the
    //! region volume has the data set's size, the colour table covers the active index and
    //! every label, the model's lists hold as many triangles and vertices as it counts and
    //! every triangle has three vertices of its own mesh, and the history keeps within its
    //! limit.
    std::vector<std::string> findInconsistencies();
    //! Bytes the undo history holds, and its limit.
    std::array<std::uint64_t, 2> getHistorySize();
    //! Moves the current XY slice (entry 21) and announces it.
    void setSliceXY(int z);

private:
    data::CDataStorage& m_storage;
    import::CPatientGeometry m_geometry;
};

} // namespace velmora
