#pragma once
// Identifiers of the storage entries that the plug-ins and the host share. The density
// volume's entry is not fixed: entry 11 names it.

namespace data::entries {

enum EStorageEntry : int
{
    ENTRY_ACTIVE_DATA_SET = 11, //!< CActiveDataSet
    ENTRY_ORTHO_SLICE_XY = 21,  //!< COrthoSliceXY
    ENTRY_DATA_SET_LIST = 101,  //!< observed for changes only
    ENTRY_DATA_STATS = 104,     //!< CDataStats
    ENTRY_REGION_DATA = 501,    //!< CRegionData
    ENTRY_REGION_COLORING = 502, //!< CRegionColoring
    ENTRY_DRAWING_OPTIONS = 555, //!< CDrawingOptions
    ENTRY_UNDO_MANAGER = 557,   //!< CUndoManager
    ENTRY_MODEL = 801           //!< CModel
};

} // namespace data::entries
