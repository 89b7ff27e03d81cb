#pragma once
// Static-polymorphism base of matrices: generic code reaches the concrete matrix without
// virtual calls.

namespace kvo::math {

template <class Derived>
class CMatrixBase
{
public:
    using tMatrix = Derived;

    Derived& getImpl() noexcept { return static_cast<Derived&>(*this); }
    const Derived& getImpl() const noexcept { return static_cast<const Derived&>(*this); }

protected:
    CMatrixBase() = default;
    ~CMatrixBase() = default;
};

} // namespace kvo::math
