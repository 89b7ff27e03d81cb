#include "plugins/tolvane/CRegionPickRequest.h"

#include "plug/CAppSceneHub.h"
#include "plugins/tolvane/CRegionCommands.h"

namespace tolvane {

void CRegionPickRequest::start(EAction action)
{
    CAppSceneHub& hub = getBindings().getSceneHub();
    cancel();
    if (action == EAction::None)
        return;
    m_request.start(hub, [this, action](float x, float y, float z) { onPointPicked(action, x, y, z); });
    m_pending = action;
}

void CRegionPickRequest::cancel()
{
    m_request.cancel();
    m_pending = EAction::None;
}

void CRegionPickRequest::onPointPicked(EAction action, float x, float y, float z)
{
    m_pending = EAction::None;
    CRegionCommands commands(getBindings().getStorage());
    if (action == EAction::PickActive)
        commands.pickActive(x, y, z);
    else if (action == EAction::JoinActive)
        commands.joinActive(x, y, z);
}

} // namespace tolvane
