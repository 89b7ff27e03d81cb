#pragma once
// Base of the segmentations that label a whole density volume at once.

#include "toolkit/base/CObject.h"
#include "toolkit/img/CVolume.h"

#include <cstdint>

namespace seg {

class CASegmentation : public kvo::base::CObject
{
public:
    using tDensityVolume = kvo::img::CVolume<std::int16_t>;
    using tLabelVolume = kvo::img::CVolume<std::uint16_t>;

    ~CASegmentation() override = default;

    //! Labels `regions` from `density`; `flags` is reserved (callers pass 0). False when
    //! nothing was labelled.
    virtual bool segment(const tDensityVolume& density, tLabelVolume& regions, int flags) = 0;
};

} // namespace seg
