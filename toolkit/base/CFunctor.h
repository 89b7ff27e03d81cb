#pragma once
// Functors: copyable, type-erased callables with up to four parameters. Unused parameter
// places are filled with kvo::tNull, so CFunctor<bool, int, int> is a bool(int, int).
// Copying a functor clones its handler; the copy owns its clone.

#include <memory>
#include <type_traits>
#include <utility>

namespace kvo {

//! The empty type that fills unused parameter places.
struct tNull
{
};

namespace base {

namespace detail {

template <class... A>
struct CTypeList
{
};

template <class List, class... Rest>
struct CStripNull;
template <class... Kept>
struct CStripNull<CTypeList<Kept...>>
{
    using type = CTypeList<Kept...>;
};
template <class... Kept, class... Rest>
struct CStripNull<CTypeList<Kept...>, tNull, Rest...>
{
    using type = CTypeList<Kept...>; // parameters end at the first tNull
};
template <class... Kept, class P, class... Rest>
struct CStripNull<CTypeList<Kept...>, P, Rest...>
{
    using type = typename CStripNull<CTypeList<Kept..., P>, Rest...>::type;
};

template <class P1, class P2, class P3, class P4>
using tParams = typename CStripNull<CTypeList<>, P1, P2, P3, P4>::type;

//! The abstract handler for one call signature.
template <class R, class List>
class CHandler;
template <class R, class... A>
class CHandler<R, CTypeList<A...>>
{
public:
    virtual ~CHandler() = default;
    virtual R call(A... args) = 0;
    virtual CHandler* clone() const = 0;
};

} // namespace detail

//! The abstract handler: call with the parameters, and clone.
template <class R, class P1 = tNull, class P2 = tNull, class P3 = tNull, class P4 = tNull>
using CFunctorBase = detail::CHandler<R, detail::tParams<P1, P2, P3, P4>>;

//! Handler calling a free function.
template <class Base, class F>
class CFuncHandler;
template <class R, class... A, class F>
class CFuncHandler<detail::CHandler<R, detail::CTypeList<A...>>, F>
    : public detail::CHandler<R, detail::CTypeList<A...>>
{
public:
    explicit CFuncHandler(F function) : m_function(function) {}
    R call(A... args) override { return m_function(std::forward<A>(args)...); }
    CFuncHandler* clone() const override { return new CFuncHandler(*this); }

private:
    F m_function;
};

//! Handler calling a member function on an object. Virtual members dispatch as usual.
template <class Base, class O, class M>
class CMemFuncHandler;
template <class R, class... A, class O, class M>
class CMemFuncHandler<detail::CHandler<R, detail::CTypeList<A...>>, O, M>
    : public detail::CHandler<R, detail::CTypeList<A...>>
{
public:
    CMemFuncHandler(O object, M member) : m_object(object), m_member(member) {}
    R call(A... args) override { return ((*m_object).*m_member)(std::forward<A>(args)...); }
    CMemFuncHandler* clone() const override { return new CMemFuncHandler(*this); }

private:
    O m_object;
    M m_member;
};

namespace detail {

template <class R, class List>
class CFunctorImpl;
template <class R, class... A>
class CFunctorImpl<R, CTypeList<A...>>
{
public:
    using tHandler = CHandler<R, CTypeList<A...>>;

    CFunctorImpl() = default;
    //! Takes ownership of a handler.
    explicit CFunctorImpl(tHandler* handler, bool owned = true) : m_handler(handler), m_owned(owned) {}
    //! From a free function (or any callable with this signature).
    template <class F, class = std::enable_if_t<std::is_invocable_r_v<R, F&, A...> &&
                                                !std::is_base_of_v<CFunctorImpl, std::decay_t<F>>>>
    CFunctorImpl(F function) : m_handler(new CFuncHandler<tHandler, F>(function)), m_owned(true) {}
    //! From an object pointer and one of its member functions.
    template <class O, class M, class = std::enable_if_t<std::is_member_function_pointer_v<M>>>
    CFunctorImpl(O object, M member)
        : m_handler(new CMemFuncHandler<tHandler, O, M>(object, member)), m_owned(true) {}

    CFunctorImpl(const CFunctorImpl& other)
        : m_handler(other.m_handler ? other.m_handler->clone() : nullptr), m_owned(true) {}
    CFunctorImpl(CFunctorImpl&& other) noexcept
        : m_handler(std::exchange(other.m_handler, nullptr)), m_owned(other.m_owned) {}
    CFunctorImpl& operator=(CFunctorImpl other) noexcept
    {
        std::swap(m_handler, other.m_handler);
        std::swap(m_owned, other.m_owned);
        return *this;
    }
    ~CFunctorImpl()
    {
        if (m_owned)
            delete m_handler;
    }

    R operator()(A... args) const { return m_handler->call(std::forward<A>(args)...); }
    bool isEmpty() const { return m_handler == nullptr; }
    explicit operator bool() const { return m_handler != nullptr; }

private:
    tHandler* m_handler = nullptr;
    bool m_owned = false;
};

} // namespace detail

//! The value type handed from place to place.
template <class R, class P1 = tNull, class P2 = tNull, class P3 = tNull, class P4 = tNull>
class CFunctor : public detail::CFunctorImpl<R, detail::tParams<P1, P2, P3, P4>>
{
    using tBase = detail::CFunctorImpl<R, detail::tParams<P1, P2, P3, P4>>;

public:
    using tBase::tBase;
    CFunctor() = default;
};

} // namespace base
} // namespace kvo
