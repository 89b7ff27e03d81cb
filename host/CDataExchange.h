#pragma once
// The current data set's labels and model as files that other programs read: the region
// volume as a NIfTI label map with its ITK-SNAP label descriptions (out and in), and the model
// as binary STL in the patient's coordinates. Used by the main window's File menu and by
// script mode; every failure is a std::runtime_error whose text is for the user, and a failed
// command changes neither the storage nor an existing file.

#include <array>
#include <string>
#include <vector>

namespace data {
class CDataStorage;
}

namespace velmora {

class CHostData;

class CDataExchange
{
public:
    CDataExchange(data::CDataStorage& storage, CHostData& data) : m_storage(storage), m_data(data) {}

    //! Writes the region volume to `path` (.nii or .nii.gz) on the scan's grid and in its
    //! place in the patient, and the colour table beside it (the same path with the
    //! extension replaced by .txt).
    void exportLabels(const std::string& path);
    //! Reads a label map from `path` onto the scan's grid (axes reordered and flipped where
    //! the map's are) into the region volume, with one undo step for labels and colour
    //! table. The table grows to cover the largest label (random colours, "Unnamed"); a
    //! description file beside the map sets names, colours and visibility. Returns the
    //! warnings of the read.
    std::vector<std::string> importLabels(const std::string& path);
    //! Writes the model as binary STL in patient coordinates (millimetres, LPS).
    void exportModel(const std::string& path);

    //! The map p -> A p + t from model coordinates (the outer corner of voxel (0, 0, 0) at
    //! 0, voxel centres at (v + 0.5) x size) to patient coordinates: rows of A, each followed
    //! by its component of t.
    std::array<double, 12> modelToPatient();

private:
    data::CDataStorage& m_storage;
    CHostData& m_data;
};

} // namespace velmora
