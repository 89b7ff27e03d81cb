#pragma once
// A pending request for one picked point, as the "Pick ..." buttons of the panels make it.
// start connects to the scene hub's pointPicked signal and switches the hub to the
// point-picking mouse mode (32869). The request serves exactly one pick: it disconnects
// itself before calling the handler. A new start replaces a request still pending;
// destroying the request disconnects it (the hub must outlive the request, as it outlives
// the panels in the host).

#include "toolkit/mod/CSignal.h"

#include <functional>

class CAppSceneHub;

namespace plug {

class CPickRequest
{
public:
    //! Called with the picked point's voxel coordinates.
    using tHandler = std::function<void(float x, float y, float z)>;

    CPickRequest() = default;
    ~CPickRequest() { cancel(); }
    CPickRequest(const CPickRequest&) = delete;
    CPickRequest& operator=(const CPickRequest&) = delete;

    //! Replaces any pending request with one that calls `handler` for the next pick.
    void start(CAppSceneHub& hub, tHandler handler);
    //! Forgets the pending request (nothing when none).
    void cancel();
    bool isPending() const { return m_connection.signal != nullptr; }

private:
    void onPointPicked(float x, float y, float z, int);

    kvo::mod::CConnection m_connection;
    tHandler m_handler;
};

} // namespace plug
