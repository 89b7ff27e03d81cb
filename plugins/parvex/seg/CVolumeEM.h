#pragma once
// GMM segmentation: a density is labelled 1 when it looks like the positive samples, 0
// otherwise.
//
// train() fits a mixture of COMPONENTS Gaussians (CMaxLikelihoodByEM) to each non-empty
// training set, in sample order, and takes as the model's scale the peak of its mixture
// density p(v) over every 16-bit density v. A set without samples leaves its model
// untrained. The decision depends on the density alone, so it is tabulated for all 65536
// densities (entry v + 32768) with r(v) = p(v) / scale:
//   - both models trained: 1 where r+(v) >= r-(v);
//   - positive model only: 1 where r+(v) >= ONE_MODEL_THRESHOLD;
//   - negative model only: 1 where r-(v) < ONE_MODEL_THRESHOLD;
//   - no model: 0 everywhere.
// So label 1 always marks densities like the positive samples. A model whose density is 0
// everywhere (scale 0) has ratio 0.
//
// segment() labels the block that the density and the region volume have in common (the
// panel keeps them the same size) with the table; segmentSlice() only the current XY slice
// within the slice object's extent, and nothing when the slice object suppresses slice
// operations. Both rebuild the table first. Everything else of the region volume keeps its
// labels; nothing outside either volume is read or written.
//
// An estimator lives for one run: trained from the current sets, used once, released. The
// estimators start from fixed seeds, so the same samples always give the same labels.

#include "data/COrthoSliceXY.h"
#include "plugins/parvex/seg/CATrainableSegmentation.h"
#include "toolkit/math/CMaxLikelihoodByEM.h"
#include "toolkit/math/CVector.h"

#include <cstdint>
#include <vector>

namespace seg {

template <class TSampler>
class CVolumeEM : public CATrainableSegmentation<typename TSampler::tSample>
{
public:
    using tBase = CATrainableSegmentation<typename TSampler::tSample>;
    using tTrainingSet = typename tBase::tTrainingSet;
    using tDensityVolume = CASegmentation::tDensityVolume;
    using tLabelVolume = CASegmentation::tLabelVolume;
    using tModel = kvo::math::CMaxLikelihoodByEM<kvo::math::CVector<double>, 1>;

    static constexpr std::int32_t COMPONENTS = 4;
    static constexpr double ONE_MODEL_THRESHOLD = 0.05;
    static constexpr std::int32_t TABLE_SIZE = 65536;
    //! Table index of density 0.
    static constexpr std::int32_t TABLE_OFFSET = 32768;

    CVolumeEM();
    ~CVolumeEM() override;

    //! Labels the common block of both volumes; always true. `flags` is not used.
    bool segment(const tDensityVolume& density, tLabelVolume& regions, int flags) override;
    //! Trains a model from each non-empty set; always true.
    bool train(const tTrainingSet& positive, const tTrainingSet& negative) override;
    //! Fills the decision table from the trained models.
    virtual void buildTable();
    //! Labels the XY slice at the slice object's position, over its x and y extent (both
    //! limited to the volumes). Returns the number of labels that changed; 0 when the slice
    //! object suppresses slice operations or the slice lies outside a volume.
    virtual std::int64_t segmentSlice(const tDensityVolume& density, tLabelVolume& regions,
                                      const data::COrthoSliceXY& slice);

    bool isPositiveTrained() const { return m_positiveTrained; }
    bool isNegativeTrained() const { return m_negativeTrained; }
    double getPositiveScale() const { return m_positiveScale; }
    double getNegativeScale() const { return m_negativeScale; }
    tModel& getPositiveModel() { return m_positive; }
    tModel& getNegativeModel() { return m_negative; }
    //! The label of density `density` (after buildTable()).
    std::uint16_t getLabel(std::int16_t density) const
    {
        return static_cast<std::uint16_t>(m_table[std::size_t(density + TABLE_OFFSET)] & 0xFFFF);
    }
    const std::vector<std::uint32_t>& getTable() const { return m_table; }

private:
    // Fits `model` to the set and returns its peak density; `densities` receives p(v) for
    // every table entry.
    static double trainModel(tModel& model, const tTrainingSet& set, std::vector<double>& densities);

    tModel m_positive;
    bool m_positiveTrained = false;
    tModel m_negative;
    bool m_negativeTrained = false;
    double m_positiveScale = 0.0;
    double m_negativeScale = 0.0;
    std::vector<std::uint32_t> m_table;
    // p(v) of each trained model over the table, kept from training for the table.
    std::vector<double> m_positiveDensities;
    std::vector<double> m_negativeDensities;
};

} // namespace seg
