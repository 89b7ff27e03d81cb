#pragma once
// The two shared objects through which every part of a plug-in reaches the host: the
// application bindings (storage and scene hub) and the GUI adapter (identifier block).
// The plug-in object creates both; the host fills them. Every access tests the pointer
// at the moment of use; nothing is cached.

#include "toolkit/base/CException.h"
#include "toolkit/base/CObject.h"

#include <cstdint>

class CAppSceneHub;
namespace data {
class CDataStorage;
}

namespace plug {

class CPlugin;

class CAppBindings : public kvo::base::CObject
{
public:
    KVO_DECLARE_EXCEPTION(CNullAppBindings, "Trying to access application bindings via NULL pointer");

    CAppBindings() = default;

    //! The host's storage; raises CNullAppBindings when not set.
    data::CDataStorage& getStorage() const;
    //! The host's scene hub; raises CNullAppBindings when not set.
    CAppSceneHub& getSceneHub() const;

    void setStorage(data::CDataStorage* storage) { m_storage = storage; }
    void setSceneHub(CAppSceneHub* hub) { m_sceneHub = hub; }
    void setPlugin(CPlugin* plugin) { m_plugin = plugin; }
    data::CDataStorage* getStoragePointer() const { return m_storage; }
    CAppSceneHub* getSceneHubPointer() const { return m_sceneHub; }
    CPlugin* getPlugin() const { return m_plugin; }

private:
    CAppSceneHub* m_sceneHub = nullptr;
    data::CDataStorage* m_storage = nullptr;
    CPlugin* m_plugin = nullptr;
};

//! Offsets inside a plug-in's identifier block.
enum EPluginIds : std::int32_t
{
    ID_PANEL = 1,
    ID_TOOLBAR = 2,
    ID_MENU_SHOW_PANEL = 4,
    ID_MENU_SHOW_TOOLBAR = 5,
    ID_MENU_COMMAND_FIRST = 17,
    ID_CONTROL_FIRST = 26,
    ID_BLOCK_SIZE = 100 //!< the host reserves this many identifiers per plug-in
};

class CGuiAdapter : public kvo::base::CObject
{
public:
    KVO_DECLARE_EXCEPTION(CNullGuiAdapter, "Trying to access GUI adapter via NULL pointer");

    CGuiAdapter() = default;

    //! First identifier of the plug-in's block; -1 until the host assigns it.
    std::int32_t idBase = -1;
    //! Host-owned field, 0 at construction.
    std::int32_t hostData = 0;

    std::int32_t getId(std::int32_t offset) const { return idBase + offset; }
};

//! Holds a reference to the bindings, null at construction.
class CAppActor
{
public:
    CAppActor() = default;
    virtual ~CAppActor() = default;

    //! Raises CNullAppBindings when no bindings are set.
    CAppBindings& getBindings() const;
    void setBindings(CAppBindings* bindings) { m_bindings = bindings; }
    bool hasBindings() const { return static_cast<bool>(m_bindings); }

private:
    kvo::base::CRefPtr<CAppBindings> m_bindings;
};

//! Holds a reference to the GUI adapter given at construction.
class CGuiActor
{
public:
    explicit CGuiActor(CGuiAdapter* adapter = nullptr) : m_adapter(adapter) {}
    virtual ~CGuiActor() = default;

    //! Raises CNullGuiAdapter when no adapter is set.
    CGuiAdapter& getAdapter() const;
    void setAdapter(CGuiAdapter* adapter) { m_adapter = adapter; }

protected:
    //! Releases the adapter reference (derived windows release it before the window dies).
    void releaseAdapter() { m_adapter.reset(); }

private:
    kvo::base::CRefPtr<CGuiAdapter> m_adapter;
};

} // namespace plug
