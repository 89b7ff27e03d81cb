#include "toolkit/math/CMatrix.h"
#include "toolkit/math/CVector.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

using kvo::math::CMatrix;
using kvo::math::CVector;

namespace {

bool isAligned(const void* p)
{
    return reinterpret_cast<std::uintptr_t>(p) % 16 == 0;
}

} // namespace

TEST(Vector, BlocksAreAlignedAndEmptyMeansNull)
{
    for (int n = 1; n < 40; ++n)
    {
        CVector<double> doubles(n);
        CVector<int> ints(n);
        CVector<char> chars(n); // odd byte counts are rounded up for the aligned allocator
        EXPECT_TRUE(isAligned(doubles.getPtr()));
        EXPECT_TRUE(isAligned(ints.getPtr()));
        EXPECT_TRUE(isAligned(chars.getPtr()));
    }
    CVector<double> empty;
    EXPECT_EQ(empty.getSize(), 0);
    EXPECT_EQ(empty.getPtr(), nullptr);
    CVector<double> zero(0);
    EXPECT_EQ(zero.getPtr(), nullptr);
    EXPECT_THROW(CVector<double>(-1), CVector<double>::CBadSize);
}

TEST(Vector, ResizeReallocatesOnlyForAnotherSize)
{
    CVector<double> vector(5, 2.0);
    const double* block = vector.getPtr();
    vector.resize(5);
    EXPECT_EQ(vector.getPtr(), block);
    EXPECT_EQ(vector(4), 2.0);

    vector.resize(7);
    EXPECT_EQ(vector.getSize(), 7);
    EXPECT_TRUE(isAligned(vector.getPtr()));
    vector.resize(0);
    EXPECT_EQ(vector.getPtr(), nullptr);

    EXPECT_THROW(vector.resize(-3), CVector<double>::CBadSize);
    EXPECT_EQ(vector.getSize(), 0);
}

TEST(Vector, CopiesAreElementCopies)
{
    CVector<int> a(4);
    for (int i = 0; i < 4; ++i)
        a[i] = i * i;
    CVector<int> b(a);
    EXPECT_NE(b.getPtr(), a.getPtr());
    b[2] = 100;
    EXPECT_EQ(a[2], 4);

    CVector<int> c(9, 0);
    c = a;
    EXPECT_EQ(c.getSize(), 4);
    EXPECT_EQ(c[3], 9);

    CVector<int> moved(std::move(b));
    EXPECT_EQ(moved[2], 100);
    EXPECT_EQ(b.getSize(), 0);
}

TEST(Vector, Arithmetic)
{
    CVector<double> a(3);
    CVector<double> b(3);
    for (int i = 0; i < 3; ++i)
    {
        a(i) = i + 1.0;      // 1 2 3
        b(i) = 10.0 * i;     // 0 10 20
    }
    EXPECT_DOUBLE_EQ(a.dot(b), 80.0);
    EXPECT_DOUBLE_EQ(a.sum(), 6.0);
    a += b;                  // 1 12 23
    EXPECT_DOUBLE_EQ(a(2), 23.0);
    a -= b;
    a *= 2.0;                // 2 4 6
    EXPECT_DOUBLE_EQ(a(0), 2.0);
    EXPECT_DOUBLE_EQ(a(2), 6.0);

    // A shorter operand combines over its own length only.
    CVector<double> shortOne(2, 1.0);
    a += shortOne;
    EXPECT_DOUBLE_EQ(a(1), 5.0);
    EXPECT_DOUBLE_EQ(a(2), 6.0);
    EXPECT_DOUBLE_EQ(a.dot(shortOne), 8.0);
    EXPECT_EQ(CVector<int>().sum(), 0);
}

TEST(Matrix, RowMajorLayoutAndAlignment)
{
    CMatrix<double> m(3, 4);
    EXPECT_TRUE(isAligned(m.getPtr()));
    EXPECT_EQ(m.getRows(), 3);
    EXPECT_EQ(m.getColumns(), 4);
    EXPECT_EQ(m.getSize(), 12u);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            m(r, c) = r * 10 + c;
    EXPECT_EQ(m.getPtr()[1 * 4 + 2], 12.0);
    EXPECT_EQ(m.getRowPtr(2)[3], 23.0);
    EXPECT_THROW(CMatrix<double>(2, -1), CMatrix<double>::CBadSize);
    CMatrix<double> empty(0, 5);
    EXPECT_EQ(empty.getPtr(), nullptr);
}

TEST(Matrix, ResizeKeepsBlockWhenElementCountIsUnchanged)
{
    CMatrix<double> m(3, 4);
    for (int i = 0; i < 12; ++i)
        m.getPtr()[i] = i;
    const double* block = m.getPtr();

    m.resize(4, 3);
    EXPECT_EQ(m.getPtr(), block);
    EXPECT_EQ(m.getRows(), 4);
    EXPECT_EQ(m.getColumns(), 3);
    EXPECT_EQ(m(1, 0), 3.0); // same contents, read with the new shape
    m.resize(12, 1);
    EXPECT_EQ(m.getPtr(), block);

    m.resize(4, 4);
    EXPECT_EQ(m.getSize(), 16u);
    EXPECT_TRUE(isAligned(m.getPtr()));
    m.resize(0, 0);
    EXPECT_EQ(m.getPtr(), nullptr);

    EXPECT_THROW(m.resize(-1, 2), CMatrix<double>::CBadSize);
    EXPECT_EQ(m.getRows(), 0);
}

TEST(Matrix, FillCopyAndArithmetic)
{
    CMatrix<double> a(2, 3, 1.5);
    EXPECT_EQ(a(1, 2), 1.5);
    CMatrix<double> b(2, 3);
    b.fill(0.5);
    const double* bBlock = b.getPtr();
    b.copy(a);
    EXPECT_EQ(b.getPtr(), bBlock);
    EXPECT_EQ(b(0, 1), 1.5);

    // Copy into other dimensions takes the source's shape instead of overrunning.
    CMatrix<double> small(1, 1, 0.0);
    small.copy(a);
    EXPECT_EQ(small.getRows(), 2);
    EXPECT_EQ(small.getColumns(), 3);
    EXPECT_EQ(small(1, 2), 1.5);

    CMatrix<double> c(a);
    EXPECT_NE(c.getPtr(), a.getPtr());
    c += a;
    EXPECT_EQ(c(1, 1), 3.0);
    c -= b;
    c *= 4.0;
    EXPECT_EQ(c(0, 0), 6.0);
    EXPECT_EQ(a(0, 0), 1.5);

    CMatrix<double> assigned;
    assigned = c;
    EXPECT_EQ(assigned(1, 2), 6.0);
    CMatrix<double> moved(std::move(assigned));
    EXPECT_EQ(moved(1, 2), 6.0);
    EXPECT_EQ(assigned.getSize(), 0u);
}
