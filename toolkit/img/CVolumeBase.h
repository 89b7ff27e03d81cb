#pragma once
// Static-polymorphism base of volumes: generic volume code takes a CVolumeBase<V> and
// reaches the concrete volume without virtual calls.

namespace kvo::img {

template <class Derived>
class CVolumeBase
{
public:
    using tVolume = Derived;

    Derived& getImpl() noexcept { return static_cast<Derived&>(*this); }
    const Derived& getImpl() const noexcept { return static_cast<const Derived&>(*this); }

protected:
    CVolumeBase() = default;
    ~CVolumeBase() = default;
};

} // namespace kvo::img
