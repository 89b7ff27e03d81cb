#include "plug/CPluginInterface.h"

#include "plug/CPluginMenu.h"
#include "plug/CPluginPanel.h"
#include "plug/CPluginToolbar.h"

#include <new>

namespace plug {

namespace {
// The library's interface instance: the most recently constructed one, and how many were
// ever constructed. Destruction changes neither.
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

CPluginInterface::~CPluginInterface() = default;

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
