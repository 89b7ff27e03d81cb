#include "host/CVelmoraHost.h"

namespace velmora {

CVelmoraHost::CVelmoraHost()
    : m_factory(std::make_unique<data::CStorableFactory>()),
      m_storage(new data::CDataStorage(m_factory.get())),
      m_hub(new CAppSceneHub),
      m_plugins(std::make_unique<CPluginHost>(m_storage.get(), m_hub.get()))
{
}

CVelmoraHost::~CVelmoraHost() { shutdown(); }

void CVelmoraHost::shutdown()
{
    if (!m_plugins)
        return;
    m_plugins->destroyPlugins();
    m_hub->setDialogService(nullptr);
    m_hub->pointPicked.disconnectAll();
    m_hub->strokeDrawn.disconnectAll();
    m_hub->modeChanged.disconnectAll();
    m_storage.reset();
    m_plugins->unload();
    m_plugins.reset();
}

} // namespace velmora
