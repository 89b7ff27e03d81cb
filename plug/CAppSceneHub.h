#pragma once
// The host's mouse-mode and scene-event object, as declared for the plug-ins. The host
// creates it (possibly a derived class) and hands it out through the bindings. Operations
// are virtual so that the host's own code runs whichever library calls them.

#include "toolkit/mod/CSignal.h"

#include <osg/Array>

#include <cstdint>

namespace plug {
class CDialogService;
}

class CAppSceneHub : public kvo::base::CObject
{
public:
    //! Mouse mode in which a click in a scene picks one point.
    static constexpr std::int32_t MODE_PICK_POINT = 32869; // 0x8065
    //! Modes with this bit are never saved as the mode to return to.
    static constexpr std::int32_t MODE_TRANSIENT_BIT = 0x8000;

    using tModeSignal = kvo::mod::CSignal<void, int>;
    using tPointSignal = kvo::mod::CSignal<void, float, float, float, int>;
    using tStrokeSignal = kvo::mod::CSignal<void, const osg::Vec3Array*, int, int>;

    CAppSceneHub() = default;
    ~CAppSceneHub() override = default;

    //! Switches the mouse mode: nothing when equal; otherwise a current mode without bit
    //! 0x8000 becomes the saved mode, the mode becomes m and modeChanged is emitted.
    virtual void setMode(std::int32_t m);
    //! Returns to the saved mode (what a scene does after one pick).
    virtual void restoreMode();
    //! Exclusive connection to strokeDrawn: existing holders hear (null, 0, 0) and are
    //! removed; the new functor is connected and hears (null, 1, 0).
    virtual kvo::mod::CConnection connectStrokeExclusive(const tStrokeSignal::tFunctor& functor);
    //! The dialog and progress service of the host; null when the host has none, in which
    //! case the plug-ins show their own dialogs.
    virtual plug::CDialogService* getDialogService() { return m_dialogService; }
    void setDialogService(plug::CDialogService* service) { m_dialogService = service; }

    std::int32_t getMode() const { return mode; }
    std::int32_t getSavedMode() const { return savedMode; }

    std::int32_t mode = 0;
    std::int32_t savedMode = 0;
    tModeSignal modeChanged;
    tPointSignal pointPicked;
    tStrokeSignal strokeDrawn;

private:
    plug::CDialogService* m_dialogService = nullptr;
};
