#include "plug/CPickRequest.h"

#include "plug/CAppSceneHub.h"

namespace plug {

void CPickRequest::start(CAppSceneHub& hub, tHandler handler)
{
    cancel();
    m_handler = std::move(handler);
    m_connection = hub.pointPicked.connect(CAppSceneHub::tPointSignal::tFunctor(this, &CPickRequest::onPointPicked));
    hub.setMode(CAppSceneHub::MODE_PICK_POINT);
}

void CPickRequest::cancel()
{
    if (m_connection.signal)
        m_connection.signal->disconnect(m_connection.id);
    m_connection = {};
    m_handler = nullptr;
}

void CPickRequest::onPointPicked(float x, float y, float z, int)
{
    // One request, one pick: the handler may start the next request itself.
    tHandler handler = std::move(m_handler);
    cancel();
    if (handler)
        handler(x, y, z);
}

} // namespace plug
