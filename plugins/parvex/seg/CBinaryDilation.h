#pragma once
// Binary dilation of the object label (see CBinaryMorphology for the element, the sizes,
// progress and what false means).
//
// Every voxel of the source block that lies in the element image of some voxel of the
// object label gets the write label in the destination, whatever label it had; parts of an
// image beyond the block are dropped. Every other destination voxel keeps its label.
//
//   seg::CBinaryDilation dilation(&regions, &copy, &element);
//   dilation.setObjectLabel(active);
//   dilation.setWriteLabel(active);
//   dilation.setCentre(r, r, r);
//   dilation.setProgressCallback(callback);
//   if (dilation.run()) ...  // copy holds the result

#include "plugins/parvex/seg/CBinaryMorphology.h"

namespace seg {

class CBinaryDilation : public CBinaryMorphology
{
public:
    CBinaryDilation() = default;
    CBinaryDilation(const tLabelVolume* source, tLabelVolume* destination, const tElement* element)
        : CBinaryMorphology(source, destination, element) {}

    //! Dilates the source into the destination; false: refused or cancelled.
    bool run();
};

} // namespace seg
