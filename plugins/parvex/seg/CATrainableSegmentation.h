#pragma once
// Base of the segmentations learnt from samples of the object (positive) and of everything
// else (negative).

#include "plugins/parvex/seg/CASegmentation.h"
#include "plugins/parvex/seg/CTrainingSet.h"

namespace seg {

template <class T>
class CATrainableSegmentation : public CASegmentation
{
public:
    using tSample = T;
    using tTrainingSet = CTrainingSet<T>;

    ~CATrainableSegmentation() override = default;

    //! Learns from both sets; either may be empty. False when the segmentation cannot use
    //! what it was given.
    virtual bool train(const tTrainingSet& positive, const tTrainingSet& negative) = 0;
};

} // namespace seg
