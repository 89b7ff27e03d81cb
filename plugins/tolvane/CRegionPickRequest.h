#pragma once
// A pending request for one picked point: "Pick Active" or "Join Active". The pick serves
// exactly one command, run on the storage of the bindings; a new request replaces one still
// pending (see plug::CPickRequest).

#include "plug/CAppBindings.h"
#include "plug/CPickRequest.h"

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
    CRegionPickRequest(const CRegionPickRequest&) = delete;
    CRegionPickRequest& operator=(const CRegionPickRequest&) = delete;

    //! Replaces any pending request; raises CNullAppBindings without bindings or hub.
    void start(EAction action);
    //! Forgets the pending request (nothing when none).
    void cancel();

    //! The action waiting for a pick; None when none.
    EAction getPending() const { return m_pending; }

private:
    void onPointPicked(EAction action, float x, float y, float z);

    plug::CPickRequest m_request;
    EAction m_pending = EAction::None;
};

} // namespace tolvane
