#include "plugins/tolvane/CRegionPickRequest.h"

#include "plug/CAppSceneHub.h"
#include "plugins/tolvane/CRegionCommands.h"

namespace tolvane {

CRegionPickRequest::~CRegionPickRequest() { cancel(); }

void CRegionPickRequest::start(EAction action)
{
    CAppSceneHub& hub = getBindings().getSceneHub();
    cancel();
    if (action == EAction::None)
        return;
    m_connection = hub.pointPicked.connect(
        CAppSceneHub::tPointSignal::tFunctor(this, &CRegionPickRequest::onPointPicked));
    m_pending = action;
    hub.setMode(CAppSceneHub::MODE_PICK_POINT);
}

void CRegionPickRequest::cancel()
{
    if (m_connection.signal)
        m_connection.signal->disconnect(m_connection.id);
    m_connection = {};
    m_pending = EAction::None;
}

void CRegionPickRequest::onPointPicked(float x, float y, float z, int)
{
    const EAction action = m_pending;
    cancel();
    CRegionCommands commands(getBindings().getStorage());
    if (action == EAction::PickActive)
        commands.pickActive(x, y, z);
    else if (action == EAction::JoinActive)
        commands.joinActive(x, y, z);
}

} // namespace tolvane
