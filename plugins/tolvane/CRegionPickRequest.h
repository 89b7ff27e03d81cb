#pragma once
// A pending request for one picked point: "Pick Active" or "Join Active". Starting a request
// connects a handler to the scene hub's pointPicked signal and switches the hub to the
// point-picking mouse mode (32869). The handler serves exactly one pick: it disconnects
// itself first, then runs the command on the storage of the bindings. A new request
// replaces one still pending; destroying the request disconnects it (the hub must outlive
// the request, as it outlives the panels in the host).

#include "plug/CAppBindings.h"
#include "toolkit/mod/CSignal.h"

namespace tolvane {

class CRegionPickRequest : public plug::CAppActor
{
public:
    enum class EAction
    {
        None,
        PickActive,
        JoinActive
    };

    CRegionPickRequest() = default;
    ~CRegionPickRequest() override;
    CRegionPickRequest(const CRegionPickRequest&) = delete;
    CRegionPickRequest& operator=(const CRegionPickRequest&) = delete;

    //! Replaces any pending request; raises CNullAppBindings without bindings or hub.
    void start(EAction action);
    //! Forgets the pending request (nothing when none).
    void cancel();

    //! The action waiting for a pick; None when none.
    EAction getPending() const { return m_pending; }

private:
    void onPointPicked(float x, float y, float z, int);

    kvo::mod::CConnection m_connection;
    EAction m_pending = EAction::None;
};

} // namespace tolvane
