#pragma once
// Removal of unused regions: the labels of a region volume are renumbered 1, 2, ... in the
// order in which they first appear (x fastest, then y, then z; margin voxels are neither
// read nor written), label 0 stays the background, and the region table shrinks to the
// regions still in use, each keeping its own colour, name and visibility at its new index.
// GUI-free; the caller holds the colouring and the region data.

#include "data/CRegionColoring.h"
#include "toolkit/img/CVolume.h"

#include <cstdint>
#include <vector>

namespace tolvane {

class CRegionRenumbering
{
public:
    using tVolume = kvo::img::CVolume<std::uint16_t>;
    //! Old label of each new index: order[0] is 0, order[i] (i >= 1) the i-th distinct
    //! non-zero label met by the scan.
    using tOrder = std::vector<std::uint16_t>;

    //! The labels of the volume in order of first appearance, 0 first (also when no voxel
    //! is 0). An empty or all-zero volume gives {0}.
    static tOrder findOrder(const tVolume& volume);

    //! True when renumbering by `order` would change no voxel (order[i] == i for all i).
    static bool isIdentity(const tOrder& order);

    //! Writes the new index of every voxel's label (label order[i] becomes i).
    static void renumber(tVolume& volume, const tOrder& order);

    //! Rebuilds the table to order.size() entries: entry i takes the colour, name and
    //! visibility of old entry order[i]; a label without an old entry gets a random colour
    //! of the table's generator, "Unnamed" and visible (drawn in order of new index). The
    //! active region follows its label; when its label is gone it becomes 1 where the table
    //! has it, else 0.
    static void rebuildColoring(data::CRegionColoring& coloring, const tOrder& order);
};

} // namespace tolvane
