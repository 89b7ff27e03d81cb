// The one-dimensional Gaussian mixture estimator: its documented edge cases, and the whole
// estimation checked bit for bit against a plain transcription of the procedure (every
// density evaluated afresh, no reuse between log-likelihood and E-step) on random samples.

#include "toolkit/math/CMaxLikelihoodByEM.h"
#include "toolkit/math/CNormalPRNG.h"
#include "toolkit/math/CUniformPRNG.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using tEstimator = kvo::math::CMaxLikelihoodByEM<kvo::math::CVector<double>, 1>;
using kvo::math::CGaussianComponent;
using kvo::math::CVector;

CVector<double> vectorOf(const std::vector<double>& values)
{
    CVector<double> vector(std::int32_t(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i)
        vector[std::int32_t(i)] = values[i];
    return vector;
}

// The estimation written out literally, on plain vectors.
class CReferenceEM
{
public:
    struct CTerm
    {
        double weight = 0, mean = 0, variance = 0;
        double norm = 0, inverse = 0;
        bool dirty = true;
    };

    std::vector<CTerm> terms;

    void estimate(const std::vector<double>& x, int count)
    {
        const int n = int(x.size());
        double sum = 0;
        for (double v : x)
            sum += v;
        CTerm first;
        first.mean = sum / n;
        double squares = 0;
        for (double v : x)
            squares += (v - first.mean) * (v - first.mean);
        first.variance = squares / n;
        first.weight = 1.0;
        terms = {first};
        for (int k = 1;; ++k)
        {
            run(x);
            if (k == count)
                break;
            const int widest = widestTerm();
            terms.emplace_back();
            split(widest, int(terms.size()) - 1);
        }
    }

private:
    double evaluate(CTerm& t, double v)
    {
        if (t.dirty)
        {
            if (t.variance < 0.001)
                t.variance = 0.001;
            t.norm = 1.0 / (std::sqrt(t.variance) * 2.506628274631001);
            t.inverse = 1.0 / t.variance;
            t.dirty = false;
        }
        return t.norm * std::exp(-0.5 * (v - t.mean) * (v - t.mean) * t.inverse);
    }

    int widestTerm() const
    {
        int widest = 0;
        for (int k = 1; k < int(terms.size()); ++k)
            if (terms[k].variance > terms[widest].variance)
                widest = k;
        return widest;
    }

    void split(int a, int b)
    {
        const double w = terms[a].weight;
        const double s = 0.5 * std::sqrt(terms[a].variance);
        terms[b].mean = terms[a].mean;
        terms[b].variance = terms[a].variance;
        terms[b].dirty = true;
        terms[a].mean += s;
        terms[a].dirty = true;
        terms[a].weight = w / 2;
        terms[b].mean -= s;
        terms[b].weight = w / 2;
    }

    bool collapse()
    {
        const int K = int(terms.size());
        if (K < 2)
            return false;
        const int m = K > 4 ? (K - 4) / 2 + 1 : 1;
        for (int i = 0; i < K; ++i)
            for (int j = i + 1; j < K; ++j)
                if (std::fabs(terms[i].mean - terms[j].mean) <
                    m * std::sqrt(std::max(terms[i].variance, terms[j].variance)))
                {
                    const int b = widestTerm();
                    split(b, b == j ? i : j);
                    return true;
                }
        return false;
    }

    void run(const std::vector<double>& x)
    {
        const int n = int(x.size());
        const int K = int(terms.size());
        std::vector<std::vector<double>> R(static_cast<std::size_t>(K), std::vector<double>(static_cast<std::size_t>(n)));
        double p = 0.5;
        for (int round = 0; round < 10; ++round)
        {
            for (CTerm& t : terms)
            {
                t.mean += m_normal.random(0.0, std::sqrt(t.variance) * p);
                t.dirty = true;
            }
            p *= 0.5;
            if (collapse())
                p = 1.5;
            double previous = 1.0;
            for (int iteration = 0; iteration < 10; ++iteration)
            {
                for (int s = 0; s < n; ++s)
                {
                    double sum = 0;
                    for (int k = 0; k < K; ++k)
                    {
                        R[k][s] = terms[k].weight * evaluate(terms[k], x[s]);
                        sum += R[k][s];
                    }
                    if (sum > 0)
                        for (int k = 0; k < K; ++k)
                            R[k][s] /= sum;
                }
                for (int k = 0; k < K; ++k)
                {
                    double S = 0, M = 0, V = 0;
                    for (int s = 0; s < n; ++s)
                    {
                        S += R[k][s];
                        M += R[k][s] * x[s];
                        V += R[k][s] * ((x[s] - terms[k].mean) * (x[s] - terms[k].mean));
                    }
                    terms[k].mean = S > 0 ? M / S : M;
                    terms[k].variance = S > 0 ? V / S : V;
                    terms[k].weight = S / n;
                    terms[k].dirty = true;
                    evaluate(terms[k], 0.0);
                }
                double L = 0;
                for (int s = 0; s < n; ++s)
                {
                    double sum = 0;
                    for (int k = 0; k < K; ++k)
                        sum += terms[k].weight * evaluate(terms[k], x[s]);
                    double l = sum != 0 ? std::log(sum) : -1e10;
                    if (l < -5e9)
                        l = -1e10;
                    L += l;
                }
                if (std::fabs(L / previous - 1.0) < 1e-6)
                    break;
                previous = L;
            }
        }
    }

    kvo::math::CNormalPRNG m_normal{1537};
};

} // namespace

TEST(GaussianComponent, VarianceFloorAndCachedValuesAtFirstEvaluation)
{
    CGaussianComponent component;
    component.mean = 100.0;
    component.variance = 0.0;
    component.weight = 1.0;
    component.setDirty();
    EXPECT_EQ(component.variance, 0.0); // nothing happens before the evaluation
    const double peak = component.evaluate(100.0);
    EXPECT_EQ(component.variance, 0.001);
    EXPECT_FALSE(component.isDirty());
    EXPECT_DOUBLE_EQ(peak, 1.0 / (std::sqrt(0.001) * 2.506628274631001));
    EXPECT_NEAR(component.evaluate(100.1), peak * std::exp(-0.5 * 0.01 / 0.001), 1e-12);

    // A wide component keeps its variance; a changed variance takes effect only once dirty.
    component.variance = 4.0;
    EXPECT_EQ(component.evaluate(100.0), peak);
    component.setDirty();
    EXPECT_DOUBLE_EQ(component.evaluate(102.0), std::exp(-0.5) / (2.0 * 2.506628274631001));
    EXPECT_EQ(component.variance, 4.0);
}

TEST(MaxLikelihoodByEM, RefusesNoSamplesAndKeepsItsComponents)
{
    tEstimator estimator(0.001);
    EXPECT_EQ(estimator.getParameter(), 0.001);
    EXPECT_FALSE(estimator.estimate(CVector<double>(), 4));
    EXPECT_EQ(estimator.getComponentCount(), 0u);
    ASSERT_TRUE(estimator.estimate(vectorOf({1, 2, 3, 4}), 2));
    const std::vector<CGaussianComponent> before = estimator.getComponents();
    EXPECT_FALSE(estimator.estimate(CVector<double>(), 4));
    EXPECT_FALSE(estimator.estimate(vectorOf({1, 2}), 0)); // no count to grow to
    ASSERT_EQ(estimator.getComponentCount(), 2u);
    for (std::size_t k = 0; k < 2; ++k)
    {
        EXPECT_EQ(estimator.getComponents()[k].mean, before[k].mean);
        EXPECT_EQ(estimator.getComponents()[k].variance, before[k].variance);
    }
}

TEST(MaxLikelihoodByEM, SingleSampleEndsAtTheVarianceFloor)
{
    tEstimator estimator;
    ASSERT_TRUE(estimator.estimate(vectorOf({100.0}), 1));
    ASSERT_EQ(estimator.getComponentCount(), 1u);
    const CGaussianComponent& only = estimator.getComponents()[0];
    EXPECT_EQ(only.mean, 100.0);
    EXPECT_EQ(only.variance, 0.001);
    EXPECT_EQ(only.weight, 1.0);
    EXPECT_EQ(estimator.getResponsibilities().getRows(), 1);
    EXPECT_EQ(estimator.getResponsibilities().getColumns(), 1);

    // Four components of one repeated value: every one has the floor, weights sum to 1.
    ASSERT_TRUE(estimator.estimate(vectorOf({100.0, 100.0, 100.0}), 4));
    ASSERT_EQ(estimator.getComponentCount(), 4u);
    double total = 0.0;
    for (const CGaussianComponent& component : estimator.getComponents())
    {
        EXPECT_GE(component.variance, 0.001);
        total += component.weight;
    }
    EXPECT_NEAR(total, 1.0, 1e-12);
}

TEST(MaxLikelihoodByEM, GrowthSplitsTheWidestIntoMeanPlusMinusHalfSigma)
{
    tEstimator estimator;
    ASSERT_TRUE(estimator.estimate(vectorOf({-3, -1, 0, 2, 7, 9, 10, 12}), 1));
    const CGaussianComponent one = estimator.getComponents()[0];
    estimator.grow(8);
    ASSERT_EQ(estimator.getComponentCount(), 2u);
    EXPECT_EQ(estimator.getResponsibilities().getRows(), 2);
    const CGaussianComponent& a = estimator.getComponents()[0];
    const CGaussianComponent& b = estimator.getComponents()[1];
    const double half = 0.5 * std::sqrt(one.variance);
    EXPECT_EQ(a.mean, one.mean + half);
    EXPECT_EQ(b.mean, one.mean - half);
    EXPECT_EQ(a.weight, 0.5);
    EXPECT_EQ(b.weight, 0.5);
    EXPECT_EQ(a.variance, one.variance);
    EXPECT_EQ(b.variance, one.variance);
    EXPECT_TRUE(a.isDirty());
    EXPECT_TRUE(b.isDirty());

    // The next growth splits the wider of the two; equal variances: the lower index.
    estimator.getComponent(1).variance = one.variance * 2;
    const double lowerMean = b.mean; // (growing may move the components)
    estimator.grow(8);
    EXPECT_EQ(estimator.getComponents()[2].mean, lowerMean - 0.5 * std::sqrt(one.variance * 2));
    estimator.getComponent(0).variance = 5.0;
    estimator.getComponent(1).variance = 5.0;
    estimator.getComponent(2).variance = 5.0;
    EXPECT_EQ(estimator.widestComponent(), 0u);
}

TEST(MaxLikelihoodByEM, CollapseDistanceIsOneSigmaUpToFourComponentsThenGrows)
{
    // (component count, distance factor m)
    const std::pair<int, double> cases[] = {{2, 1}, {4, 1}, {5, 1}, {6, 2}, {7, 2}, {8, 3}};
    for (const auto& [count, factor] : cases)
    {
        std::vector<double> samples;
        for (int i = 0; i < 40; ++i)
            samples.push_back(i * 10.0);
        tEstimator estimator;
        ASSERT_TRUE(estimator.estimate(vectorOf(samples), count));
        // Means 100 apart, all variances 16 (sigma 4) except the last (sigma 10): pair
        // (count - 2, count - 1) is the only one that may collapse, at distance d.
        for (int k = 0; k < count; ++k)
        {
            estimator.getComponent(std::size_t(k)).mean = 100.0 * k;
            estimator.getComponent(std::size_t(k)).variance = 16.0;
        }
        estimator.getComponent(std::size_t(count - 1)).variance = 100.0;
        auto& last = estimator.getComponent(std::size_t(count - 1));
        auto& before = estimator.getComponent(std::size_t(count - 2));
        last.mean = before.mean + factor * 10.0; // exactly m sigma: not collapsed
        EXPECT_FALSE(estimator.resplitCollapsed()) << count;
        last.mean = before.mean + factor * 10.0 - 0.01; // just inside
        const double widestMean = last.mean;
        const double widestWeight = last.weight;
        ASSERT_TRUE(estimator.resplitCollapsed()) << count;
        // The widest is j itself: it is split into slot i.
        EXPECT_EQ(estimator.getComponents()[std::size_t(count - 1)].mean, widestMean + 5.0) << count;
        EXPECT_EQ(estimator.getComponents()[std::size_t(count - 2)].mean, widestMean - 5.0) << count;
        EXPECT_EQ(estimator.getComponents()[std::size_t(count - 2)].variance, 100.0) << count;
        EXPECT_EQ(estimator.getComponents()[std::size_t(count - 2)].weight, widestWeight / 2) << count;
    }

    // The widest component elsewhere: it is split into slot j of the collapsed pair.
    tEstimator estimator;
    ASSERT_TRUE(estimator.estimate(vectorOf({0, 1, 2, 3, 50, 51, 52, 90, 91}), 3));
    estimator.getComponent(0).mean = 0.0;
    estimator.getComponent(0).variance = 1.0;
    estimator.getComponent(1).mean = 0.5;
    estimator.getComponent(1).variance = 1.0;
    estimator.getComponent(2).mean = 80.0;
    estimator.getComponent(2).variance = 36.0;
    ASSERT_TRUE(estimator.resplitCollapsed());
    EXPECT_EQ(estimator.getComponents()[0].mean, 0.0);
    EXPECT_EQ(estimator.getComponents()[1].mean, 77.0);
    EXPECT_EQ(estimator.getComponents()[2].mean, 83.0);
}

TEST(MaxLikelihoodByEM, TwoSeparatedGroupsGiveComponentsAtBothWithWeightsSummingToOne)
{
    for (int count : {2, 3, 4})
    {
        std::vector<double> samples;
        for (int i = 0; i < 50; ++i)
        {
            samples.push_back(0.0);
            samples.push_back(1000.0);
        }
        tEstimator estimator;
        ASSERT_TRUE(estimator.estimate(vectorOf(samples), count));
        ASSERT_EQ(estimator.getComponentCount(), std::size_t(count));
        double total = 0.0, nearZero = 0.0, nearThousand = 0.0;
        for (const CGaussianComponent& component : estimator.getComponents())
        {
            total += component.weight;
            if (std::fabs(component.mean) < 1.0)
                nearZero += component.weight;
            else if (std::fabs(component.mean - 1000.0) < 1.0)
                nearThousand += component.weight;
            else
                EXPECT_LT(component.weight, 1e-6) << "stray component at " << component.mean;
        }
        EXPECT_NEAR(total, 1.0, 1e-9) << count;
        EXPECT_NEAR(nearZero, 0.5, 1e-6) << count;
        EXPECT_NEAR(nearThousand, 0.5, 1e-6) << count;
        // The mixture explains both groups equally.
        EXPECT_NEAR(estimator.density(0.0) / estimator.density(1000.0), 1.0, 1e-3) << count;
    }
}

TEST(MaxLikelihoodByEM, EqualsThePlainProcedureOnRandomSamples)
{
    kvo::math::CUniformPRNG random(99);
    for (int trial = 0; trial < 24; ++trial)
    {
        // Integer densities from two to four clusters of various spreads, as strokes give.
        const int n = 1 + int(random.random() * 300);
        const int groups = 1 + trial % 4;
        std::vector<double> samples;
        for (int s = 0; s < n; ++s)
        {
            const int group = int(random.random() * groups) % groups;
            const double centre = -900.0 + 700.0 * group;
            const double spread = trial % 3 == 0 ? 0.0 : 5.0 + 40.0 * group;
            samples.push_back(std::round(centre + (random.random() - 0.5) * 2.0 * spread));
        }
        const int count = 1 + trial % 5;
        tEstimator estimator;
        ASSERT_TRUE(estimator.estimate(vectorOf(samples), count));
        CReferenceEM reference;
        reference.estimate(samples, count);
        ASSERT_EQ(estimator.getComponentCount(), reference.terms.size());
        for (std::size_t k = 0; k < reference.terms.size(); ++k)
        {
            EXPECT_EQ(estimator.getComponents()[k].mean, reference.terms[k].mean) << trial << " " << k;
            EXPECT_EQ(estimator.getComponents()[k].variance, reference.terms[k].variance) << trial << " " << k;
            EXPECT_EQ(estimator.getComponents()[k].weight, reference.terms[k].weight) << trial << " " << k;
        }
        // And again: fixed seeds, the same mixture.
        tEstimator again;
        ASSERT_TRUE(again.estimate(vectorOf(samples), count));
        for (std::size_t k = 0; k < reference.terms.size(); ++k)
            EXPECT_EQ(again.getComponents()[k].mean, estimator.getComponents()[k].mean);
    }
}
