#include "plugins/parvex/seg/CASVolumeFCM.h"

#include <algorithm>
#include <cmath>

namespace seg {

CASVolumeFCM::CASVolumeFCM(std::int32_t clusters, double fuzziness)
    : m_clusters(clusters), m_fuzziness(fuzziness), m_exponent(2.0 / (fuzziness - 1.0)), m_histogram(BINS, 0)
{
    if (clusters > 0)
        sizeFor(clusters);
}

void CASVolumeFCM::sizeFor(std::int32_t clusters)
{
    m_centres.resize(clusters);
    m_memberships.resize(clusters, BINS);
}

void CASVolumeFCM::buildHistogram(const tDensityVolume& density)
{
    m_histogram.fill(0);
    int* counts = m_histogram.getPtr() - LOWEST;
    for (std::int32_t z = 0; z < density.getZSize(); ++z)
        for (std::int32_t y = 0; y < density.getYSize(); ++y)
        {
            const std::int16_t* row = density.getRowPtr(y, z);
            for (std::int32_t x = 0; x < density.getXSize(); ++x)
            {
                const std::int16_t v = row[x];
                if (v >= LOWEST && v <= HIGHEST)
                    ++counts[v];
            }
        }
    m_populated.clear();
    for (std::int32_t b = 0; b < BINS; ++b)
        if (m_histogram[b] != 0)
            m_populated.push_back(b);
}

void CASVolumeFCM::updateMemberships(std::int32_t bin, std::vector<double>& distances)
{
    const std::int32_t c = m_centres.getSize();
    const double x = double(LOWEST + bin);
    for (std::int32_t j = 0; j < c; ++j)
        distances[std::size_t(j)] = std::fabs(m_centres[j] - x);
    for (std::int32_t i = 0; i < c; ++i)
    {
        // 0/0 (the bin on this centre) makes the sum NaN, d/0 (on another centre) infinite:
        // membership 1 and 0.
        double sum = 0.0;
        for (std::int32_t j = 0; j < c; ++j)
            sum += std::pow(distances[std::size_t(i)] / distances[std::size_t(j)], m_exponent);
        m_memberships(i, bin) = sum > 0.0 ? 1.0 / sum : 1.0;
    }
}

void CASVolumeFCM::cluster(std::int32_t clusters)
{
    sizeFor(clusters);
    const std::int32_t c = clusters;
    const std::int32_t populated = std::int32_t(m_populated.size());
    m_weighted.resize(c, populated);

    // Every bin hard-assigned to one random cluster; the draws go over all bins, populated
    // or not, so the sequence does not depend on the data.
    m_memberships.fill(0.0);
    for (std::int32_t b = 0; b < BINS; ++b)
        m_memberships(m_generator.randomIndex(c), b) = 1.0;

    // The iterations only need the populated bins: an empty bin adds nothing to centres or
    // objective. The other bins get their memberships once the centres are final.
    std::vector<double> distances(static_cast<std::size_t>(c));
    double previous = 1.0;
    m_iterations = 0;
    while (m_iterations < MAX_ITERATIONS)
    {
        ++m_iterations;
        for (std::int32_t i = 0; i < c; ++i)
            for (std::int32_t p = 0; p < populated; ++p)
                m_weighted(i, p) = std::pow(m_memberships(i, m_populated[std::size_t(p)]), m_fuzziness);

        for (std::int32_t i = 0; i < c; ++i)
        {
            double weight = 0.0, moment = 0.0;
            for (std::int32_t p = 0; p < populated; ++p)
            {
                const std::int32_t b = m_populated[std::size_t(p)];
                const double hw = m_histogram[b] * m_weighted(i, p);
                weight += hw;
                moment += hw * double(LOWEST + b);
            }
            m_centres[i] = weight > 0.0 ? moment / weight : moment;
        }

        for (std::int32_t b : m_populated)
            updateMemberships(b, distances);

        double objective = 0.0;
        for (std::int32_t i = 0; i < c; ++i)
            for (std::int32_t p = 0; p < populated; ++p)
            {
                const std::int32_t b = m_populated[std::size_t(p)];
                const double d = m_centres[i] - double(LOWEST + b);
                objective += m_histogram[b] * m_weighted(i, p) * (d * d);
            }

        if (std::fabs(objective / previous - 1.0) < EPSILON || objective < EPSILON)
            break;
        previous = objective;
    }

    std::size_t next = 0;
    for (std::int32_t b = 0; b < BINS; ++b)
    {
        if (next < m_populated.size() && m_populated[next] == b)
            ++next;
        else
            updateMemberships(b, distances);
    }
}

double CASVolumeFCM::partitionCriterion() const
{
    const std::int32_t c = m_memberships.getRows();
    double sum = 0.0;
    for (std::int32_t i = 0; i < c; ++i)
        for (std::int32_t b = 0; b < BINS; ++b)
            sum += m_memberships(i, b) * m_memberships(i, b);
    const double coefficient = sum / BINS;
    const double inverse = 1.0 / c;
    return (coefficient - inverse) / (1.0 - inverse + 0.001);
}

std::vector<std::uint16_t> CASVolumeFCM::labelTable() const
{
    const std::int32_t c = m_memberships.getRows();
    std::vector<std::uint16_t> table(BINS, 0);
    for (std::int32_t b = 0; b < BINS; ++b)
    {
        std::int32_t best = 0;
        for (std::int32_t i = 1; i < c; ++i)
            if (m_memberships(i, b) > m_memberships(best, b))
                best = i;
        table[std::size_t(b)] = static_cast<std::uint16_t>(best);
    }
    return table;
}

void CASVolumeFCM::writeLabels(const tDensityVolume& density, tLabelVolume& regions,
                               const std::vector<std::uint16_t>& table)
{
    // Labels 1 .. c, indexed by the clamped density.
    std::vector<std::uint16_t> labels(table.size());
    for (std::size_t b = 0; b < table.size(); ++b)
        labels[b] = static_cast<std::uint16_t>(table[b] + 1);
    const std::uint16_t* byDensity = labels.data() - LOWEST;
    const std::int32_t xSize = std::min(density.getXSize(), regions.getXSize());
    const std::int32_t ySize = std::min(density.getYSize(), regions.getYSize());
    const std::int32_t zSize = std::min(density.getZSize(), regions.getZSize());
    for (std::int32_t z = 0; z < zSize; ++z)
        for (std::int32_t y = 0; y < ySize; ++y)
        {
            const std::int16_t* in = density.getRowPtr(y, z);
            std::uint16_t* out = regions.getRowPtr(y, z);
            for (std::int32_t x = 0; x < xSize; ++x)
                out[x] = byDensity[std::clamp(in[x], LOWEST, HIGHEST)];
        }
}

bool CASVolumeFCM::run(const tDensityVolume& density, tLabelVolume& regions)
{
    buildHistogram(density);
    if (m_clusters > 0)
    {
        cluster(m_clusters);
        writeLabels(density, regions, labelTable());
        return true;
    }

    // Automatic count. Count 1 always passes (its criterion 0 equals the start value).
    const std::int32_t limit =
        std::max<std::int32_t>(1, std::min<std::int32_t>(getPopulatedBins(), MAX_AUTOMATIC_CLUSTERS));
    std::int32_t c = 1;
    double previous = 0.0;
    std::vector<std::uint16_t> accepted;
    while (c <= limit)
    {
        cluster(c);
        const double criterion = partitionCriterion();
        if (criterion < previous || criterion > 1.0)
            break;
        accepted = labelTable();
        previous = criterion;
        ++c;
    }
    m_clusters = c;
    writeLabels(density, regions, accepted);
    return true;
}

} // namespace seg
