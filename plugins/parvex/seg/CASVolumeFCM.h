#pragma once
// Fuzzy C-Means segmentation of a density volume.
//
// The clustering works on the density histogram, not on the voxels: one bin per integer
// density from LOWEST (-1500) to HIGHEST (7000), BINS = 8501 bins. Memberships are kept per
// bin (clusters x bins), centres are weighted by the bin counts, and every voxel finally
// takes the cluster of highest membership for its density (ties: the lower cluster); the
// labels written are cluster + 1, so 1 .. c, never 0.
//
// Clustering for c clusters with fuzziness m (> 1; the panel passes 1.5): each bin starts
// hard-assigned to the cluster trunc(r (c - 1) + 0.5) of the next uniform draw r; then at
// most MAX_ITERATIONS rounds of centres (an empty cluster keeps centre 0), memberships and
// objective, until the objective changes by less than EPSILON relative or falls below
// EPSILON. A bin that lies exactly on its own cluster's centre has membership 1 there (and 0
// in clusters whose centres lie elsewhere). The generator (seed 1537) is not reseeded
// between the clusterings of one object, so one object gives the same result every time it
// is built and run on the same volume.
//
// Automatic count (constructed with 0 clusters): c = 1, 2, ... is clustered and judged by
// the normalised partition coefficient (the mean squared membership over all bins, scaled
// so that 1 cluster gives 0); the search stops at the first count whose criterion is lower
// than that of the count before or above 1, and the labels are those of the last count
// accepted. It never tries more clusters than the histogram has populated bins, nor more
// than MAX_AUTOMATIC_CLUSTERS: the count after the last one allowed stops it as a rejected
// count would. After the run getClusterCount() is the count that stopped the search, one
// more than the count whose labels were written: the size a colour table needs beside
// label 0.
//
// Densities outside LOWEST .. HIGHEST are left out of the histogram and labelled as if they
// were the nearest end of the range. Labels are written over the block that the density and
// the region volume have in common (the panel makes them the same size); nothing outside
// either volume is read or written.
//
// Single-threaded. Works in O(c^2 x populated bins) per iteration plus two passes over the
// voxels (histogram and labels). Allocation failure: std::bad_alloc.

#include "toolkit/img/CVolume.h"
#include "toolkit/math/CMatrix.h"
#include "toolkit/math/CUniformPRNG.h"
#include "toolkit/math/CVector.h"

#include <cstdint>
#include <vector>

namespace seg {

class CASVolumeFCM
{
public:
    using tDensityVolume = kvo::img::CVolume<std::int16_t>;
    using tLabelVolume = kvo::img::CVolume<std::uint16_t>;

    static constexpr std::int16_t LOWEST = -1500;
    static constexpr std::int16_t HIGHEST = 7000;
    static constexpr std::int32_t BINS = HIGHEST - LOWEST + 1;
    static constexpr int MAX_ITERATIONS = 100;
    static constexpr double EPSILON = 1e-6;
    //! The largest count the automatic search tries (the panel's "Num. of Regions" maximum).
    static constexpr std::int32_t MAX_AUTOMATIC_CLUSTERS = 100;

    //! `clusters` 0 (automatic) or 1 .. 65535; `fuzziness` m > 1.
    CASVolumeFCM(std::int32_t clusters, double fuzziness);
    virtual ~CASVolumeFCM() = default;

    CASVolumeFCM(const CASVolumeFCM&) = delete;
    CASVolumeFCM& operator=(const CASVolumeFCM&) = delete;

    //! Builds the histogram of `density`, clusters it and labels `regions` (see above).
    //! Always true.
    bool run(const tDensityVolume& density, tLabelVolume& regions);

    //! The count given, or after an automatic run the count that stopped the search.
    std::int32_t getClusterCount() const { return m_clusters; }
    double getFuzziness() const { return m_fuzziness; }

    // The steps of run(), for callers that inspect them.

    //! Counts the densities of the volume's interior that lie in LOWEST .. HIGHEST.
    void buildHistogram(const tDensityVolume& density);
    //! Clusters the current histogram into `clusters` (>= 1) clusters.
    void cluster(std::int32_t clusters);
    //! Normalised partition coefficient of the current memberships (0 for one cluster).
    double partitionCriterion() const;
    //! Cluster of highest membership for every bin (ties: the lower cluster), 0-based.
    std::vector<std::uint16_t> labelTable() const;

    const kvo::math::CVector<int>& getHistogram() const { return m_histogram; }
    const kvo::math::CVector<double>& getCentres() const { return m_centres; }
    //! Clusters x BINS; row i holds the memberships of every bin in cluster i.
    const kvo::math::CMatrix<double>& getMemberships() const { return m_memberships; }
    //! Iterations of the last clustering.
    int getIterations() const { return m_iterations; }
    //! Bins with a non-zero count.
    std::int32_t getPopulatedBins() const { return std::int32_t(m_populated.size()); }

private:
    // Memberships of bin `bin` in every cluster from the current centres, into column `bin`.
    void updateMemberships(std::int32_t bin, std::vector<double>& distances);
    void sizeFor(std::int32_t clusters);
    // Writes table[clamped density] + 1 over the common block.
    static void writeLabels(const tDensityVolume& density, tLabelVolume& regions,
                            const std::vector<std::uint16_t>& table);

    std::int32_t m_clusters;
    double m_fuzziness;
    double m_exponent;
    kvo::math::CVector<double> m_centres;
    kvo::math::CMatrix<double> m_memberships;
    // Memberships raised to m, for the populated bins only (clusters x populated bins):
    // empty bins add nothing to centres or objective.
    kvo::math::CMatrix<double> m_weighted;
    kvo::math::CUniformPRNG m_generator;
    kvo::math::CVector<int> m_histogram;
    std::vector<std::int32_t> m_populated;
    int m_iterations = 0;
};

} // namespace seg
