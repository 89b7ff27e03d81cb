#pragma once
// A sampler turns a point of a volume into training samples.
//
// T: the sample type; P: the point type (voxel coordinates of the volume); V: the volume.

#include "plugins/parvex/seg/CSamplerBase.h"

namespace seg {

template <class T, class P, class V>
class CSampler : public CSamplerBase<T>
{
public:
    using tPoint = P;
    using tVolume = V;

    ~CSampler() override = default;

    //! Appends the samples that the point stands for to the training set.
    virtual void addSamples(const P& point, const V& volume) = 0;
    //! The sample at one point; false (and `sample` unchanged) when the point lies outside
    //! the volume.
    virtual bool sample(T& sample, const P& point, const V& volume) = 0;
};

} // namespace seg
