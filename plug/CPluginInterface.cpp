#include "plug/CPluginInterface.h"

#include "plug/CPluginMenu.h"
#include "plug/CPluginPanel.h"
#include "plug/CPluginToolbar.h"

#include <new>

namespace plug {

namespace {
// The library's interface instance: the most recently constructed one, and how many were
// ever constructed. Destruction leaves the count alone (two interfaces ever made keep the
// lookup failing), but forgets the pointer when it names the destroyed interface, so that
// the lookup never touches a dead object.
CPluginInterface* interfaceInstance = nullptr;
int interfaceCount = 0;
} // namespace

namespace detail {
CPluginInterface* getInterfaceInstancePointer() { return interfaceInstance; }
int getInterfaceInstanceCount() { return interfaceCount; }
} // namespace detail

CPluginInterface::CPluginInterface(std::uint32_t flags) : CGuiActor(nullptr), CHasFlags(flags)
{
    ++interfaceCount;
    interfaceInstance = this;
}

CPluginInterface::~CPluginInterface()
{
    if (interfaceInstance == this)
        interfaceInstance = nullptr;
}

CPluginPanel* CPluginInterface::createPanel(CGuiAdapter* adapter)
{
    return new (std::nothrow) CPluginPanel(adapter);
}

CPluginMenu* CPluginInterface::createMenu(CGuiAdapter* adapter)
{
    return new (std::nothrow) CPluginMenu(adapter);
}

CPluginToolbar* CPluginInterface::createToolbar(CGuiAdapter* adapter)
{
    return new (std::nothrow) CPluginToolbar(adapter);
}

bool CPluginInterface::preConnect(void*) { return true; }
bool CPluginInterface::connect(void*) { return true; }
bool CPluginInterface::postConnect(void*) { return true; }

} // namespace plug
