#pragma once
// The host's plug-in registry: host "Velmora" version 1.0 by default, a table of
// prototypes ordered by name.

#include "plug/CPluginRegistry.h"

#include <map>
#include <string>

namespace velmora {

struct CPrototypeRecord
{
    plug::CPlugin* plugin = nullptr; //!< the created plug-in object, null until created
    plug::tCreatePluginFunc create = nullptr;
    plug::tDestroyPluginFunc destroy = nullptr;
    std::string library; //!< file of the library that registered it
};

class CVelmoraRegistry : public plug::CPluginRegistry
{
public:
    explicit CVelmoraRegistry(app::CProductInfo info = app::CProductInfo("Velmora", 1, 0), std::uint32_t flags = 0)
        : CPluginRegistry(flags), m_info(std::move(info)) {}

    const app::CProductInfo& getProductInfo() const override { return m_info; }
    bool registerPrototype(const std::string& name, plug::tCreatePluginFunc create,
                           plug::tDestroyPluginFunc destroy) override;

    //! Library file recorded with the prototypes registered from now on.
    void setCurrentLibrary(std::string file) { m_currentLibrary = std::move(file); }

    std::map<std::string, CPrototypeRecord>& getPrototypes() { return m_prototypes; }
    const std::map<std::string, CPrototypeRecord>& getPrototypes() const { return m_prototypes; }

private:
    app::CProductInfo m_info;
    std::map<std::string, CPrototypeRecord> m_prototypes;
    std::string m_currentLibrary;
};

} // namespace velmora
