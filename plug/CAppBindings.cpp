#include "plug/CAppBindings.h"

namespace plug {

data::CDataStorage& CAppBindings::getStorage() const
{
    if (!m_storage)
        throw CNullAppBindings();
    return *m_storage;
}

CAppSceneHub& CAppBindings::getSceneHub() const
{
    if (!m_sceneHub)
        throw CNullAppBindings();
    return *m_sceneHub;
}

CAppBindings& CAppActor::getBindings() const
{
    if (!m_bindings)
        throw CAppBindings::CNullAppBindings();
    return *m_bindings;
}

CGuiAdapter& CGuiActor::getAdapter() const
{
    if (!m_adapter)
        throw CGuiAdapter::CNullGuiAdapter();
    return *m_adapter;
}

} // namespace plug
