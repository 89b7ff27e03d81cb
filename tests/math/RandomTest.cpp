#include "toolkit/math/CNormalPRNG.h"
#include "toolkit/math/CUniformPRNG.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

using kvo::math::CNormalPRNG;
using kvo::math::CUniformPRNG;

namespace {

// The uniform rule written out independently, in 64-bit arithmetic.
std::uint32_t nextState(std::uint32_t state)
{
    return std::uint32_t((std::uint64_t(state) * 1220703125ull) % (1ull << 32)) & 0x7FFFFFFFu;
}

} // namespace

TEST(UniformPRNG, FollowsTheMultiplicativeRuleFromSeed1537)
{
    CUniformPRNG generator;
    EXPECT_EQ(generator.getState(), 1537u);
    std::uint32_t state = 1537;
    for (int i = 0; i < 1000; ++i)
    {
        state = nextState(state);
        ASSERT_EQ(generator.random(), state / 2147483647.0) << "draw " << i;
        ASSERT_EQ(generator.getState(), state);
    }
    // The first state, written out: 1537 × 1220703125 = 1876220703125 = 0x1B4'D777'F195;
    // its low 32 bits have bit 31 set, which is cleared.
    EXPECT_EQ(nextState(1537), 0x5777F195u);

    CUniformPRNG scaled;
    EXPECT_EQ(scaled.random(-2.0, 3.0), (nextState(1537) / 2147483647.0) * 5.0 - 2.0);
}

TEST(UniformPRNG, SameSeedSameSequenceAndZeroIsAFixedPoint)
{
    CUniformPRNG a(1537);
    CUniformPRNG b;
    CUniformPRNG other(1539);
    bool differs = false;
    for (int i = 0; i < 100; ++i)
    {
        const double value = a.random();
        ASSERT_EQ(value, b.random());
        differs = differs || value != other.random();
    }
    EXPECT_TRUE(differs);

    CUniformPRNG zero(0);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(zero.random(), 0.0);
    EXPECT_EQ(zero.getState(), 0u);

    // From the odd seed the state stays odd and so never reaches 0.
    CUniformPRNG walker;
    for (int i = 0; i < 1000000; ++i)
    {
        walker.random();
        ASSERT_EQ(walker.getState() & 1u, 1u);
    }

    a.setSeed(1537);
    CUniformPRNG fresh;
    EXPECT_EQ(a.random(), fresh.random());
}

TEST(UniformPRNG, ValuesAreUniformOnTheUnitInterval)
{
    CUniformPRNG generator;
    const int n = 200000;
    double sum = 0.0;
    double sumOfSquares = 0.0;
    std::vector<int> bins(10, 0);
    for (int i = 0; i < n; ++i)
    {
        const double value = generator.random();
        ASSERT_GE(value, 0.0);
        ASSERT_LE(value, 1.0);
        sum += value;
        sumOfSquares += value * value;
        ++bins[std::min(9, int(value * 10))];
    }
    const double mean = sum / n;
    EXPECT_NEAR(mean, 0.5, 0.01);
    EXPECT_NEAR(sumOfSquares / n - mean * mean, 1.0 / 12.0, 0.005);
    for (int count : bins)
        EXPECT_NEAR(count, n / 10, n / 100);

    for (int i = 0; i < 1000; ++i)
    {
        const double value = generator.random(-5.0, 3.0);
        ASSERT_GE(value, -5.0);
        ASSERT_LE(value, 3.0);
    }
}

TEST(UniformPRNG, RandomIndexRoundsSoEndsAreHalfAsLikely)
{
    CUniformPRNG generator;
    const int n = 400000;
    std::vector<int> counts(5, 0);
    for (int i = 0; i < n; ++i)
    {
        const int index = generator.randomIndex(5);
        ASSERT_GE(index, 0);
        ASSERT_LT(index, 5);
        ++counts[index];
    }
    // Interior indices 1/4 of the draws each, the two ends 1/8 each.
    EXPECT_NEAR(counts[0], n / 8, n / 100);
    EXPECT_NEAR(counts[4], n / 8, n / 100);
    for (int i = 1; i < 4; ++i)
        EXPECT_NEAR(counts[i], n / 4, n / 100);

    // It is the documented conversion of one uniform draw.
    CUniformPRNG a;
    CUniformPRNG b;
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(a.randomIndex(7), int(b.random(0.0, 6.0) + 0.5));
    EXPECT_EQ(a.randomIndex(1), 0);
}

TEST(NormalPRNG, SumsTwelveUniformDraws)
{
    CNormalPRNG normal;
    CUniformPRNG uniform; // same seed, same rule: the normal value is built from its draws
    for (int i = 0; i < 100; ++i)
    {
        double sum = 0.0;
        for (int k = 0; k < 12; ++k)
            sum += uniform.random();
        ASSERT_EQ(normal.random(10.0, 2.5), (sum - 6.0) * 2.5 + 10.0);
    }
    EXPECT_EQ(normal.getState(), uniform.getState());

    CNormalPRNG still;
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(still.random(3.25, 0.0), 3.25);
}

TEST(NormalPRNG, MeanAndVarianceMatch)
{
    CNormalPRNG generator;
    const int n = 100000;
    double sum = 0.0;
    double sumOfSquares = 0.0;
    for (int i = 0; i < n; ++i)
    {
        const double value = generator.random(-4.0, 3.0);
        ASSERT_GE(value, -4.0 - 18.0);
        ASSERT_LE(value, -4.0 + 18.0);
        sum += value;
        sumOfSquares += value * value;
    }
    const double mean = sum / n;
    EXPECT_NEAR(mean, -4.0, 0.05);
    EXPECT_NEAR(std::sqrt(sumOfSquares / n - mean * mean), 3.0, 0.05);
}
