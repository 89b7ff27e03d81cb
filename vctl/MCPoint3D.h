#pragma once
// A point of the mesh's space, allocated from the small-object allocator.

#include "toolkit/base/CSmallObject.h"
#include "vctl/MCCoordinate3D.h"

namespace vctl {

class MCPoint3D : public MCCoordinate3D<double>, public kvo::base::CSmallObject<4096, 256, 4>
{
public:
    MCPoint3D() = default;
    MCPoint3D(double x, double y, double z) : MCCoordinate3D<double>(x, y, z) {}
    ~MCPoint3D() override = default;
};

} // namespace vctl
