// A test-only plug-in that turns the densities of the loaded data set into region labels
// (negative densities become 0), so that a script can start from a known segmentation
// written as a raw volume. It records no undo step and leaves the region table alone.

#include "data/CActiveDataSet.h"
#include "data/CDataStorage.h"
#include "data/CDensityData.h"
#include "data/CObjectPtr.h"
#include "data/CRegionData.h"
#include "plug/CPlugin.h"
#include "plug/CPluginInterface.h"
#include "plug/CPluginPanel.h"

#include <wx/button.h>
#include <wx/sizer.h>

#include <algorithm>

namespace seeder {

constexpr int ID_SEED = 26;

class CSeederPanel : public plug::CPluginPanel
{
public:
    explicit CSeederPanel(plug::CGuiAdapter* adapter) : CPluginPanel(adapter) {}

    bool prepare() override
    {
        if (!CPluginPanel::prepare())
            return false;
        auto* top = new wxBoxSizer(wxVERTICAL);
        top->Add(new wxButton(this, getAdapter().getId(ID_SEED), "Labels From Densities"));
        SetSizerAndFit(top);
        return true;
    }

    bool connect() override
    {
        if (!CPluginPanel::connect())
            return false;
        Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { seed(); }, getAdapter().getId(ID_SEED));
        return true;
    }

private:
    void seed()
    {
        data::CDataStorage& storage = getBindings().getStorage();
        const int densityId = data::CObjectPtr<data::CActiveDataSet>(storage.getEntry(11, 3))->getDataSetId();
        data::CObjectPtr<data::CDensityData> density(storage.getEntry(densityId, 3));
        data::CObjectPtr<data::CRegionData> regions(storage.getEntry(501, 3));
        const int xSize = std::min(density->getXSize(), regions->getXSize());
        const int ySize = std::min(density->getYSize(), regions->getYSize());
        const int zSize = std::min(density->getZSize(), regions->getZSize());
        for (int z = 0; z < zSize; ++z)
            for (int y = 0; y < ySize; ++y)
                for (int x = 0; x < xSize; ++x)
                    regions->at(x, y, z) = static_cast<std::uint16_t>(std::max<int>(density->at(x, y, z), 0));
        storage.invalidate(regions.getEntry(), 0);
    }
};

class CSeederInterface : public plug::CPluginInterface
{
public:
    explicit CSeederInterface(std::uint32_t flags) : CPluginInterface(flags) {}
    plug::CPluginPanel* createPanel(plug::CGuiAdapter* adapter) override { return new CSeederPanel(adapter); }
    plug::CPluginToolbar* createToolbar(plug::CGuiAdapter*) override { return nullptr; }
};

class CSeederPlugin : public plug::CPluginPrototype<CSeederPlugin, CSeederInterface, plug::CCreateInGlobalMem>
{
public:
    explicit CSeederPlugin(std::uint32_t flags) : CPluginPrototype(flags) {}
    static const plug::CPluginInfo& getPluginInfo()
    {
        static const plug::CPluginInfo info("Velmora", "Seeder", "Testing", 1, 0);
        return info;
    }
    const plug::CPluginInfo& getInfo() const override { return getPluginInfo(); }
};

} // namespace seeder

VELMORA_DEFINE_PLUGIN_ENTRY_POINTS(seeder::CSeederPlugin)
