#pragma once
// Singletons with lifetimes. A singleton is created on the heap at first use; its destroyer
// joins one list per library, kept in ascending order of lifetime (equal lifetimes keep
// their order of creation). Every creation registers one exit handler; each handler, run
// at library unload (or program exit), destroys the first singleton of the list. So
// singletons die in ascending order of lifetime.

#include <cstdint>

namespace kvo::base {

//! Marks a class as a singleton with lifetime N.
template <std::uint32_t N>
class CSingleton
{
public:
    static constexpr std::uint32_t LIFETIME = N;
};

//! Base of the destroyers kept in the library's list.
class CSingletonLifetime
{
public:
    explicit CSingletonLifetime(std::uint32_t lifetime) : m_lifetime(lifetime) {}
    virtual ~CSingletonLifetime() = default;
    std::uint32_t getLifetime() const { return m_lifetime; }

private:
    std::uint32_t m_lifetime;
};

//! Holds one singleton instance and the function that deletes it.
template <class T>
class CSingletonDestroyer : public CSingletonLifetime
{
public:
    using tDeleter = void (*)(T*);
    CSingletonDestroyer(std::uint32_t lifetime, T* instance, tDeleter deleter)
        : CSingletonLifetime(lifetime), m_instance(instance), m_deleter(deleter) {}
    ~CSingletonDestroyer() override { m_deleter(m_instance); }

private:
    T* m_instance;
    tDeleter m_deleter;
};

namespace detail {
//! Inserts a destroyer into the library's list and registers one exit handler.
void registerSingletonDestroyer(CSingletonLifetime* destroyer);
} // namespace detail

//! Returns the library's instance of T, creating it on first use. T declares its lifetime
//! by deriving from CSingleton<N>. After destruction at unload a new use creates it again.
template <class T>
class CSingletonHolder
{
public:
    static T& getInstance()
    {
        if (!s_instance)
        {
            s_instance = new T();
            detail::registerSingletonDestroyer(
                new CSingletonDestroyer<T>(T::LIFETIME, s_instance, &CSingletonHolder::destroy));
        }
        return *s_instance;
    }
    static bool exists() { return s_instance != nullptr; }

private:
    static void destroy(T* instance)
    {
        if (s_instance == instance)
            s_instance = nullptr;
        delete instance;
    }
    static inline T* s_instance = nullptr;
};

} // namespace kvo::base
