#pragma once
// The host's plug-in registry, as the plug-ins see it. The host implements it; the plug-ins
// read its flags and product description and call registerPrototype.

#include "plug/CHasFlags.h"
#include "plug/CProductInfo.h"

#include <string>

namespace plug {

class CPlugin;

using tCreatePluginFunc = CPlugin* (*)(std::uint32_t flags);
using tDestroyPluginFunc = void (*)(CPlugin* plugin);

class CPluginRegistry : public CHasFlags
{
public:
    explicit CPluginRegistry(std::uint32_t flags = 0) : CHasFlags(flags) {}
    virtual ~CPluginRegistry() = default;

    //! The host's product description (name and version).
    virtual const app::CProductInfo& getProductInfo() const = 0;

    //! Records a prototype under `name`. False when the name is empty or a function is null,
    //! and false when the name is already registered (the first record stays).
    virtual bool registerPrototype(const std::string& name, tCreatePluginFunc create, tDestroyPluginFunc destroy) = 0;
};

} // namespace plug
