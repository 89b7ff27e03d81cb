#pragma once
// Base of filters that compute one volume from another, with progress reporting.
//
// V is the volume class the filter works on (a CVolume<T> or a class derived from one).
// The filter operation reads `source`, writes `destination` and returns true on completion,
// false when it refused the inputs or the progress callback asked it to stop; what the
// destination then holds is the concrete filter's to state.

#include "toolkit/mod/CProgress.h"

namespace kvo::img {

template <class V>
class CVolumeFilter : public kvo::mod::CProgress
{
public:
    using tVolume = V;
    using tVoxel = typename V::tVoxel;

    ~CVolumeFilter() override = default;

    //! Filters `source` into `destination`; see above for what false means.
    virtual bool operator()(const V& source, V& destination) = 0;
};

} // namespace kvo::img
