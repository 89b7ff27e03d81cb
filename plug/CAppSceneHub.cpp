#include "plug/CAppSceneHub.h"

void CAppSceneHub::setMode(std::int32_t m)
{
    if (mode == m)
        return;
    if ((mode & MODE_TRANSIENT_BIT) == 0)
        savedMode = mode;
    mode = m;
    modeChanged.emit(m);
}

void CAppSceneHub::restoreMode() { setMode(savedMode); }

kvo::mod::CConnection CAppSceneHub::connectStrokeExclusive(const tStrokeSignal::tFunctor& functor)
{
    if (strokeDrawn.getCount() > 0)
    {
        strokeDrawn.emit(nullptr, 0, 0);
        strokeDrawn.disconnectAll();
    }
    kvo::mod::CConnection connection = strokeDrawn.connect(functor);
    strokeDrawn.emit(nullptr, 1, 0);
    return connection;
}
