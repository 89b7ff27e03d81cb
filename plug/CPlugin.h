#pragma once
// The plug-in object, the prototype template that concrete plug-ins derive from, and the
// creation policy that places the object in a global memory block.

#include "plug/CAppBindings.h"
#include "plug/CHasFlags.h"
#include "plug/CPluginRegistry.h"
#include "plug/CProductInfo.h"
#include "toolkit/sys/GlobalMemory.h"

#include <new>

namespace plug {

class CPluginInterface;

class CPlugin : public CHasFlags
{
public:
    explicit CPlugin(std::uint32_t flags);

    //! The library's description; the base reports "Undefined" for host "Host".
    virtual const CPluginInfo& getInfo() const;
    //! Deletes the interface when owned (flag 0x400), then releases bindings and adapter.
    virtual ~CPlugin();
    virtual bool initialize(void* argument) = 0;
    //! A new interface object, null when allocation fails.
    virtual CPluginInterface* createInterface(std::uint32_t flags) = 0;

    CGuiAdapter* getAdapter() const { return m_adapter.get(); }
    CAppBindings* getBindings() const { return m_bindings.get(); }
    CPluginInterface* getInterface() const { return m_interface; }
    //! Filled by the host after createInterface.
    void setInterface(CPluginInterface* pluginInterface) { m_interface = pluginInterface; }

    CPlugin(const CPlugin&) = delete;
    CPlugin& operator=(const CPlugin&) = delete;

private:
    kvo::base::CRefPtr<CGuiAdapter> m_adapter;
    kvo::base::CRefPtr<CAppBindings> m_bindings;
    CPluginInterface* m_interface = nullptr;
};

//! Creation policy: the plug-in object lives in a fixed global memory block.
template <class T>
class CCreateInGlobalMem
{
public:
    //! Allocates and locks a block of sizeof(T), constructs T(flags) in it. Null on failure.
    static CPlugin* createPlugin(std::uint32_t flags) noexcept
    {
        kvo::sys::HGLOBAL handle = kvo::sys::GlobalAlloc(0, sizeof(T));
        if (!handle)
            return nullptr;
        void* memory = kvo::sys::GlobalLock(handle);
        if (!memory)
        {
            kvo::sys::GlobalFree(handle);
            return nullptr;
        }
        try
        {
            T* object = new (memory) T(flags);
            object->m_globalHandle = handle;
            return object;
        }
        catch (...)
        {
            kvo::sys::GlobalUnlock(handle);
            kvo::sys::GlobalFree(handle);
            return nullptr;
        }
    }

    //! Destroys an object made by createPlugin; an object of another class is left alone.
    static void destroyPlugin(CPlugin* plugin) noexcept
    {
        T* object = dynamic_cast<T*>(plugin);
        if (!object)
            return;
        kvo::sys::HGLOBAL handle = object->m_globalHandle;
        object->~T();
        kvo::sys::GlobalUnlock(handle);
        kvo::sys::GlobalFree(handle);
    }

protected:
    kvo::sys::HGLOBAL m_globalHandle = nullptr;
};

template <class TPlugin, class TInterface, template <class> class TCreation>
class CPluginPrototype : public CPlugin, public TCreation<TPlugin>
{
public:
    explicit CPluginPrototype(std::uint32_t flags) : CPlugin(flags) {}

    bool initialize(void*) override { return true; }
    CPluginInterface* createInterface(std::uint32_t flags) override
    {
        return new (std::nothrow) TInterface(flags);
    }
};

namespace detail {
//! Steps of the exported registerPlugin, shared by every plug-in library.
bool registerPlugin(CPluginRegistry* registry, const CPluginInfo& info, tCreatePluginFunc create,
                    tDestroyPluginFunc destroy) noexcept;
} // namespace detail

} // namespace plug

//! Defines the two exported entry points of a plug-in library for plug-in class T, whose
//! static getPluginInfo() returns the library's CPluginInfo.
#define VELMORA_DEFINE_PLUGIN_ENTRY_POINTS(T)                                                  \
    extern "C" __attribute__((visibility("default"))) int getPluginVersion()                   \
    {                                                                                          \
        return T::getPluginInfo().getMajor();                                                  \
    }                                                                                          \
    extern "C" __attribute__((visibility("default"))) bool registerPlugin(plug::CPluginRegistry* registry) \
    {                                                                                          \
        return plug::detail::registerPlugin(registry, T::getPluginInfo(), &T::createPlugin, &T::destroyPlugin); \
    }
