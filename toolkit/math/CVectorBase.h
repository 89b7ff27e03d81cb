#pragma once
// Static-polymorphism base of vectors: generic code reaches the concrete vector without
// virtual calls.

namespace kvo::math {

template <class Derived>
class CVectorBase
{
public:
    using tVector = Derived;

    Derived& getImpl() noexcept { return static_cast<Derived&>(*this); }
    const Derived& getImpl() const noexcept { return static_cast<const Derived&>(*this); }

protected:
    CVectorBase() = default;
    ~CVectorBase() = default;
};

} // namespace kvo::math
