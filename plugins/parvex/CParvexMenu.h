#pragma once
// The Parvex menu: the two standard items only.

#include "plug/CPluginMenu.h"

namespace parvex {

class CParvexMenu : public plug::CPluginMenu
{
public:
    explicit CParvexMenu(plug::CGuiAdapter* adapter) : CPluginMenu(adapter) {}
};

} // namespace parvex
