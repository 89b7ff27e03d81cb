#pragma once
// Static-polymorphism base of images: generic image code takes a CImageBase<I> and
// reaches the concrete image without virtual calls.

namespace kvo::img {

template <class Derived>
class CImageBase
{
public:
    using tImage = Derived;

    Derived& getImpl() noexcept { return static_cast<Derived&>(*this); }
    const Derived& getImpl() const noexcept { return static_cast<const Derived&>(*this); }

protected:
    CImageBase() = default;
    ~CImageBase() = default;
};

} // namespace kvo::img
