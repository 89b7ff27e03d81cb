#pragma once
// Binary erosion of the object label (see CBinaryMorphology for the element, the sizes,
// progress and what false means).
//
// Only voxels of the object label change. Such a voxel keeps the object (gets the write
// label) when the element image laid on it lies wholly inside the source block and every
// voxel of it holds the object label; otherwise it gets the background label. Voxels of
// any other label, near the faces too, keep theirs: a face erodes the object within reach
// of the element and nothing else.
//
//   seg::CBinaryErosion erosion(&regions, &copy, &element);
//   erosion.setObjectLabel(active);
//   erosion.setWriteLabel(active);
//   erosion.setCentre(r, r, r);
//   erosion.setBackgroundLabel(0);
//   erosion.setProgressCallback(callback);
//   if (erosion.run()) ...  // copy holds the result

#include "plugins/parvex/seg/CBinaryMorphology.h"

#include <cstdint>

namespace seg {

class CBinaryErosion : public CBinaryMorphology
{
public:
    CBinaryErosion() = default;
    CBinaryErosion(const tLabelVolume* source, tLabelVolume* destination, const tElement* element)
        : CBinaryMorphology(source, destination, element) {}

    //! The label of removed voxels; default 0.
    void setBackgroundLabel(std::uint16_t label) { m_backgroundLabel = label; }

    //! Erodes the source into the destination; false: refused or cancelled.
    bool run();

private:
    std::uint16_t m_backgroundLabel = 0;
};

} // namespace seg
