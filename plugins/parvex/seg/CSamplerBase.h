#pragma once
// Base of the samplers: owns the training set that the sampler fills.

#include "plugins/parvex/seg/CTrainingSet.h"
#include "toolkit/base/CObject.h"

namespace seg {

template <class T>
class CSamplerBase : public kvo::base::CObject
{
public:
    using tSample = T;
    using tTrainingSet = CTrainingSet<T>;

    CSamplerBase() = default;
    ~CSamplerBase() override = default;
    CSamplerBase(const CSamplerBase&) = delete;
    CSamplerBase& operator=(const CSamplerBase&) = delete;

    tTrainingSet& getTrainingSet() { return m_trainingSet; }
    const tTrainingSet& getTrainingSet() const { return m_trainingSet; }

private:
    tTrainingSet m_trainingSet;
};

} // namespace seg
