#pragma once
// The samples collected for training one model, in the order they were added. Duplicates
// are kept. Reference counted; single-threaded (the GUI thread).

#include "toolkit/base/CObject.h"

#include <cstddef>
#include <vector>

namespace seg {

template <class T>
class CTrainingSet : public kvo::base::CObject
{
public:
    using tSample = T;
    using tSamples = std::vector<T>;

    CTrainingSet() = default;
    ~CTrainingSet() override = default;

    //! Appends one sample; may throw std::bad_alloc (the set is then unchanged).
    void add(const T& sample) { m_samples.push_back(sample); }
    //! Removes every sample.
    void clear() { m_samples.clear(); }

    const tSamples& getSamples() const { return m_samples; }
    std::size_t getSize() const { return m_samples.size(); }
    bool isEmpty() const { return m_samples.empty(); }

private:
    tSamples m_samples;
};

} // namespace seg
