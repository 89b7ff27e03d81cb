# The shared data objects and the undo snapshots.
target_sources(framework PRIVATE
  CRunLengthCode.cpp
  CRegionData.cpp
  CRegionColoring.cpp
  CDataStats.cpp
  CUndoManager.cpp
  CModel.cpp
)
