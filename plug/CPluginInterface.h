#pragma once
// The object through which the host drives a plug-in after creating it: it makes the
// panel, menu and toolbar and receives the plug-in's menu commands, which it binds in the
// three connection hooks. Each constructed interface becomes the library's interface
// instance (see getInterfaceInstance).

#include "plug/CAppBindings.h"
#include "plug/CHasFlags.h"

#include <wx/event.h>

namespace plug {

class CPluginPanel;
class CPluginMenu;
class CPluginToolbar;

class CPluginInterface : public wxEvtHandler, public CGuiActor, public CAppActor, public CHasFlags
{
public:
    KVO_DECLARE_EXCEPTION(CNullInterface, "Cannot find an instance of the plugin interface");

    explicit CPluginInterface(std::uint32_t flags);
    ~CPluginInterface() override;

    //! A new panel on the adapter, parented by the application's top window; null on failure.
    virtual CPluginPanel* createPanel(CGuiAdapter* adapter);
    //! A new menu on the adapter; null on failure.
    virtual CPluginMenu* createMenu(CGuiAdapter* adapter);
    //! A new toolbar on the adapter; null on failure (the plug-ins have none).
    virtual CPluginToolbar* createToolbar(CGuiAdapter* adapter);
    virtual bool preConnect(void* host);
    virtual bool connect(void* host);
    virtual bool postConnect(void* host);

protected:
    //! Binds the menu command idBase + offset on this interface to a handler (which calls
    //! one of the interface's virtual command handlers); raises CNullGuiAdapter without an
    //! adapter.
    template <class F>
    void bindMenuCommand(std::int32_t offset, F handler)
    {
        Bind(wxEVT_MENU, handler, getAdapter().getId(offset));
    }
};

namespace detail {
CPluginInterface* getInterfaceInstancePointer();
int getInterfaceInstanceCount();
} // namespace detail

//! The library's interface instance as T; raises CNullInterface unless exactly one
//! interface was ever constructed in this library, it still exists and it is a T.
template <class T>
T* getInterfaceInstance()
{
    if (detail::getInterfaceInstanceCount() != 1)
        throw CPluginInterface::CNullInterface();
    T* instance = dynamic_cast<T*>(detail::getInterfaceInstancePointer());
    if (!instance)
        throw CPluginInterface::CNullInterface();
    return instance;
}

} // namespace plug
