#pragma once
// Maximum-likelihood estimation of a Gaussian mixture by expectation maximisation.
//
// Only the one-dimensional estimator over CVector<double> samples is provided. estimate()
// does not start from K random components: it fits one component to all samples, then
// grows the mixture by splitting the widest component (ties: the lower index) into two
// with means mu +- sigma / 2 and half the weight each, running EM after every growth step.
// Each EM run is ten rounds; a round shakes every mean with normal noise of standard
// deviation sigma * p (p = 0.5, halved every round), re-splits the widest component over
// the first pair that has collapsed onto each other (then p = 1.5), and iterates E- and
// M-steps (at most ten) until the log-likelihood changes by less than the relative
// threshold. The normal generator starts from CPseudoRNG::DEFAULT_SEED, so the same samples
// always give the same mixture.
//
// Variances below CGaussianComponent::VARIANCE_FLOOR are raised to it when a component is
// evaluated. A sample whose mixture density is 0 (or whose logarithm is below -5e9) counts
// -1e10 in the log-likelihood; a component that no sample is responsible for gets weight,
// mean and variance 0 (the variance then floored).
//
// Single-threaded; one estimator per training.

#include "toolkit/math/CGaussianComponent.h"
#include "toolkit/math/CMatrix.h"
#include "toolkit/math/CNormalPRNG.h"
#include "toolkit/math/CVector.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace kvo::math {

template <class TVector, int Dimension>
class CMaxLikelihoodByEM;

template <>
class CMaxLikelihoodByEM<CVector<double>, 1>
{
public:
    using tSamples = CVector<double>;
    using tComponent = CGaussianComponent;

    //! Relative change of the log-likelihood under which the iterations of a round stop.
    static constexpr double THRESHOLD = 1e-6;
    static constexpr int ROUNDS = 10;
    static constexpr int ITERATIONS = 10;
    //! What a sample of zero mixture density adds to the log-likelihood.
    static constexpr double ZERO_LOG = -1e10;

    //! `parameter` is kept for callers that set it (0.001); no operation uses it.
    explicit CMaxLikelihoodByEM(double parameter = 0.001) : m_parameter(parameter) {}
    virtual ~CMaxLikelihoodByEM() = default;

    //! Estimates a mixture of `count` (>= 1) components from the samples. False, with the
    //! components left as they were, when there is no sample or `count` < 1.
    virtual bool estimate(const tSamples& samples, std::int32_t count)
    {
        const std::int32_t n = samples.getSize();
        if (n < 1 || count < 1)
            return false;
        m_responsibilities.resize(1, n);
        m_components.assign(1, tComponent());
        indexSamples(samples);
        const double* x = samples.getPtr();
        double sum = 0.0;
        for (std::int32_t s = 0; s < n; ++s)
            sum += x[s];
        tComponent& first = m_components[0];
        first.mean = sum / n;
        double squares = 0.0;
        for (std::int32_t s = 0; s < n; ++s)
            squares += (x[s] - first.mean) * (x[s] - first.mean);
        first.variance = squares / n;
        first.weight = 1.0;
        first.setDirty();
        for (std::int32_t k = 1;; ++k)
        {
            runEM(THRESHOLD);
            if (k == count)
                break;
            grow(n);
        }
        return true;
    }

    //! The growth step: a new last component made by splitting the widest one, and a row
    //! more in the responsibility matrix (of `sampleCount` columns).
    void grow(std::int32_t sampleCount)
    {
        const std::size_t widest = widestComponent();
        m_responsibilities.resize(std::int32_t(m_components.size()) + 1, sampleCount);
        m_components.emplace_back();
        split(widest, m_components.size() - 1);
    }

    //! Splits component `from` into slot `into`: both get `from`'s variance and half its
    //! weight, means sigma / 2 above (`from`) and below (`into`) `from`'s mean.
    void split(std::size_t from, std::size_t into)
    {
        tComponent& a = m_components[from];
        tComponent& b = m_components[into];
        const double weight = a.weight;
        const double shift = 0.5 * std::sqrt(a.variance);
        b.mean = a.mean;
        b.variance = a.variance;
        b.setDirty();
        a.mean += shift;
        a.setDirty();
        a.weight = weight / 2;
        b.mean -= shift;
        b.weight = weight / 2;
    }

    //! Index of the component of largest variance (the lowest index among equals).
    std::size_t widestComponent() const
    {
        std::size_t widest = 0;
        for (std::size_t k = 1; k < m_components.size(); ++k)
            if (m_components[k].variance > m_components[widest].variance)
                widest = k;
        return widest;
    }

    //! Finds the first pair (i < j) of components whose means are closer than m times the
    //! larger standard deviation (m = 1 up to four components, (K - 4) / 2 + 1 above) and
    //! replaces one of them by a half of the widest component. True when it did.
    bool resplitCollapsed()
    {
        const std::size_t count = m_components.size();
        if (count < 2)
            return false;
        const double factor = count > 4 ? double((count - 4) / 2 + 1) : 1.0;
        for (std::size_t i = 0; i < count; ++i)
            for (std::size_t j = i + 1; j < count; ++j)
            {
                const tComponent& a = m_components[i];
                const tComponent& b = m_components[j];
                const double spread = std::sqrt(a.variance > b.variance ? a.variance : b.variance);
                if (std::fabs(a.mean - b.mean) < factor * spread)
                {
                    const std::size_t widest = widestComponent();
                    split(widest, widest == j ? i : j);
                    return true;
                }
            }
        return false;
    }

    std::size_t getComponentCount() const { return m_components.size(); }
    tComponent& getComponent(std::size_t k) { return m_components[k]; }
    const std::vector<tComponent>& getComponents() const { return m_components; }
    //! One row per component, one column per sample (after an E-step: the responsibilities).
    const CMatrix<double>& getResponsibilities() const { return m_responsibilities; }
    double getParameter() const { return m_parameter; }

    //! The mixture density sum_k w_k N_k(x).
    double density(double x)
    {
        double sum = 0.0;
        for (tComponent& component : m_components)
            sum += component.weight * component.evaluate(x);
        return sum;
    }

private:
    // One EM run (ten rounds) on the current components and the indexed samples; returns
    // the log-likelihood of the last round.
    double runEM(double threshold)
    {
        double perturbation = 0.5;
        double result = 1.0;
        for (int round = 0; round < ROUNDS; ++round)
        {
            for (tComponent& component : m_components)
            {
                component.mean += m_normal.random(0.0, std::sqrt(component.variance) * perturbation);
                component.setDirty();
            }
            perturbation *= 0.5;
            if (resplitCollapsed())
                perturbation = 1.5;
            m_weightedValid = false;
            double previous = 1.0;
            for (int iteration = 0; iteration < ITERATIONS; ++iteration)
            {
                expectation();
                maximisation();
                const double likelihood = logLikelihood();
                if (std::fabs(likelihood / previous - 1.0) < threshold)
                    break;
                previous = likelihood;
            }
            result = previous;
        }
        return result;
    }

    // Every sample of one value has the same densities, responsibilities and log-density, so
    // these are computed once per distinct value; the sums over the samples still run
    // sample by sample in their order, so the result is that of the plain procedure.
    void indexSamples(const tSamples& samples)
    {
        const std::int32_t n = samples.getSize();
        std::vector<std::pair<std::uint64_t, std::int32_t>> keys(static_cast<std::size_t>(n));
        for (std::int32_t s = 0; s < n; ++s)
        {
            std::uint64_t bits;
            std::memcpy(&bits, samples.getPtr() + s, sizeof bits);
            keys[std::size_t(s)] = {bits, s};
        }
        std::sort(keys.begin(), keys.end());
        m_values.clear();
        m_index.assign(std::size_t(n), 0);
        for (std::size_t i = 0; i < keys.size(); ++i)
        {
            if (i == 0 || keys[i].first != keys[i - 1].first)
                m_values.push_back(samples[keys[i].second]);
            m_index[std::size_t(keys[i].second)] = std::int32_t(m_values.size() - 1);
        }
    }

    // w_k N_k(v) for every component and distinct value v, and their sums over k: what the
    // E-step normalises and the log-likelihood takes the logarithm of. Between a
    // log-likelihood and the next E-step the parameters do not change, so the E-step reuses
    // what the log-likelihood computed.
    void weightedDensities()
    {
        const std::size_t values = m_values.size();
        m_weighted.resize(m_components.size() * values);
        m_sums.assign(values, 0.0);
        for (std::size_t k = 0; k < m_components.size(); ++k)
        {
            tComponent& component = m_components[k];
            component.update();
            double* row = m_weighted.data() + k * values;
            for (std::size_t u = 0; u < values; ++u)
            {
                row[u] = component.weight * component.evaluateClean(m_values[u]);
                m_sums[u] += row[u];
            }
        }
        m_weightedValid = true;
    }

    void expectation()
    {
        if (!m_weightedValid)
            weightedDensities();
        m_weightedValid = false;
        const std::size_t values = m_values.size();
        const std::size_t n = m_index.size();
        for (std::size_t k = 0; k < m_components.size(); ++k)
        {
            double* responsibility = m_weighted.data() + k * values;
            for (std::size_t u = 0; u < values; ++u)
                if (m_sums[u] > 0.0)
                    responsibility[u] /= m_sums[u];
            double* row = m_responsibilities.getRowPtr(std::int32_t(k));
            for (std::size_t s = 0; s < n; ++s)
                row[s] = responsibility[m_index[s]];
        }
    }

    void maximisation()
    {
        const std::size_t values = m_values.size();
        const std::size_t n = m_index.size();
        m_moments.resize(values);
        m_spreads.resize(values);
        for (std::size_t k = 0; k < m_components.size(); ++k)
        {
            tComponent& component = m_components[k];
            const double* responsibility = m_weighted.data() + k * values;
            for (std::size_t u = 0; u < values; ++u)
            {
                const double d = m_values[u] - component.mean;
                m_moments[u] = responsibility[u] * m_values[u];
                m_spreads[u] = responsibility[u] * (d * d);
            }
            double total = 0.0, moment = 0.0, spread = 0.0;
            for (std::size_t s = 0; s < n; ++s)
            {
                const std::int32_t u = m_index[s];
                total += responsibility[u];
                moment += m_moments[std::size_t(u)];
                spread += m_spreads[std::size_t(u)];
            }
            if (total > 0.0)
            {
                component.mean = moment / total;
                component.variance = spread / total;
            }
            else
            {
                component.mean = moment;
                component.variance = spread;
            }
            component.weight = total / double(n);
            component.setDirty();
            component.update();
        }
        m_weightedValid = false;
    }

    double logLikelihood()
    {
        weightedDensities();
        m_logs.resize(m_values.size());
        for (std::size_t u = 0; u < m_values.size(); ++u)
        {
            double term = ZERO_LOG;
            if (m_sums[u] != 0.0)
            {
                term = std::log(m_sums[u]);
                if (term < -5e9)
                    term = ZERO_LOG;
            }
            m_logs[u] = term;
        }
        double likelihood = 0.0; // log 1
        for (std::int32_t u : m_index)
            likelihood += m_logs[std::size_t(u)];
        return likelihood;
    }

    double m_parameter;
    std::vector<tComponent> m_components;
    CMatrix<double> m_responsibilities;
    CNormalPRNG m_normal;
    // The distinct sample values and each sample's index among them.
    std::vector<double> m_values;
    std::vector<std::int32_t> m_index;
    // Per component and distinct value: w_k N_k(v), normalised by the E-step; their sums
    // over k; whether they are those of the current parameters.
    std::vector<double> m_weighted;
    std::vector<double> m_sums;
    bool m_weightedValid = false;
    // Scratch of the M-step and the log-likelihood, per distinct value.
    std::vector<double> m_moments;
    std::vector<double> m_spreads;
    std::vector<double> m_logs;
};

} // namespace kvo::math
