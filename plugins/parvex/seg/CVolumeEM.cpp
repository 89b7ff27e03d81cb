#include "plugins/parvex/seg/CVolumeEM.h"

#include "plugins/parvex/seg/CVoxelNeighbourhoodSampler.h"

#include <algorithm>

namespace seg {

namespace {

// The decision table as 16-bit labels indexed by the signed density itself.
class CLabelLookup
{
public:
    explicit CLabelLookup(const std::vector<std::uint32_t>& table) : m_labels(table.size())
    {
        for (std::size_t i = 0; i < table.size(); ++i)
            m_labels[i] = static_cast<std::uint16_t>(table[i] & 0xFFFF);
    }

    void labelRow(const std::int16_t* density, std::uint16_t* labels, std::int32_t count) const
    {
        const std::uint16_t* byDensity = m_labels.data() + OFFSET;
        for (std::int32_t x = 0; x < count; ++x)
            labels[x] = byDensity[density[x]];
    }

    // As labelRow; returns how many labels changed.
    std::int64_t relabelRow(const std::int16_t* density, std::uint16_t* labels, std::int32_t count) const
    {
        const std::uint16_t* byDensity = m_labels.data() + OFFSET;
        std::int64_t changed = 0;
        for (std::int32_t x = 0; x < count; ++x)
        {
            const std::uint16_t label = byDensity[density[x]];
            changed += label != labels[x];
            labels[x] = label;
        }
        return changed;
    }

private:
    static constexpr std::ptrdiff_t OFFSET = CVolumeEM<CVoxelNeighbourhoodSampler>::TABLE_OFFSET;
    std::vector<std::uint16_t> m_labels;
};

double ratio(double density, double scale)
{
    return scale > 0.0 ? density / scale : 0.0;
}

} // namespace

template <class TSampler>
CVolumeEM<TSampler>::CVolumeEM() : m_positive(0.001), m_negative(0.001)
{
}

template <class TSampler>
CVolumeEM<TSampler>::~CVolumeEM() = default;

template <class TSampler>
double CVolumeEM<TSampler>::trainModel(tModel& model, const tTrainingSet& set, std::vector<double>& densities)
{
    const auto& samples = set.getSamples();
    kvo::math::CVector<double> values(std::int32_t(samples.size()));
    for (std::size_t s = 0; s < samples.size(); ++s)
        values[std::int32_t(s)] = samples[s].value;
    model.estimate(values, COMPONENTS);

    densities.resize(TABLE_SIZE);
    double peak = 0.0;
    for (std::int32_t i = 0; i < TABLE_SIZE; ++i)
    {
        densities[std::size_t(i)] = model.density(double(i - TABLE_OFFSET));
        peak = std::max(peak, densities[std::size_t(i)]);
    }
    return peak;
}

template <class TSampler>
bool CVolumeEM<TSampler>::train(const tTrainingSet& positive, const tTrainingSet& negative)
{
    if (!positive.isEmpty())
    {
        m_positiveScale = trainModel(m_positive, positive, m_positiveDensities);
        m_positiveTrained = true;
    }
    if (!negative.isEmpty())
    {
        m_negativeScale = trainModel(m_negative, negative, m_negativeDensities);
        m_negativeTrained = true;
    }
    return true;
}

template <class TSampler>
void CVolumeEM<TSampler>::buildTable()
{
    m_table.assign(TABLE_SIZE, 0);
    if (!m_positiveTrained && !m_negativeTrained)
        return;
    for (std::size_t i = 0; i < std::size_t(TABLE_SIZE); ++i)
    {
        bool inside;
        if (m_positiveTrained && m_negativeTrained)
            inside = ratio(m_positiveDensities[i], m_positiveScale) >= ratio(m_negativeDensities[i], m_negativeScale);
        else if (m_positiveTrained)
            inside = ratio(m_positiveDensities[i], m_positiveScale) >= ONE_MODEL_THRESHOLD;
        else
            inside = ratio(m_negativeDensities[i], m_negativeScale) < ONE_MODEL_THRESHOLD;
        m_table[i] = inside ? 1u : 0u;
    }
}

template <class TSampler>
bool CVolumeEM<TSampler>::segment(const tDensityVolume& density, tLabelVolume& regions, int)
{
    buildTable();
    const CLabelLookup lookup(m_table);
    const std::int32_t xSize = std::min(density.getXSize(), regions.getXSize());
    const std::int32_t ySize = std::min(density.getYSize(), regions.getYSize());
    const std::int32_t zSize = std::min(density.getZSize(), regions.getZSize());
    for (std::int32_t z = 0; z < zSize; ++z)
        for (std::int32_t y = 0; y < ySize; ++y)
            lookup.labelRow(density.getRowPtr(y, z), regions.getRowPtr(y, z), xSize);
    return true;
}

template <class TSampler>
std::int64_t CVolumeEM<TSampler>::segmentSlice(const tDensityVolume& density, tLabelVolume& regions,
                                               const data::COrthoSliceXY& slice)
{
    if (slice.isSliceOperationSuppressed())
        return 0;
    buildTable();
    const std::int32_t z = slice.getPosition();
    if (z < 0 || z >= density.getZSize() || z >= regions.getZSize())
        return 0;
    const CLabelLookup lookup(m_table);
    const std::int32_t xSize = std::min({slice.getXSize(), density.getXSize(), regions.getXSize()});
    const std::int32_t ySize = std::min({slice.getYSize(), density.getYSize(), regions.getYSize()});
    std::int64_t changed = 0;
    for (std::int32_t y = 0; y < ySize; ++y)
        changed += lookup.relabelRow(density.getRowPtr(y, z), regions.getRowPtr(y, z), std::max(xSize, 0));
    return changed;
}

template class CVolumeEM<CVoxelNeighbourhoodSampler>;

} // namespace seg
