#include "plugins/tolvane/CRegionRenumbering.h"

#include <optional>

namespace tolvane {

CRegionRenumbering::tOrder CRegionRenumbering::findOrder(const tVolume& volume)
{
    tOrder order{0};
    std::vector<bool> seen(65536, false);
    seen[0] = true;
    // Labels come in long runs: only a change of value needs a look into the table.
    std::uint32_t last = 0;
    for (std::int32_t z = 0; z < volume.getZSize(); ++z)
    {
        for (std::int32_t y = 0; y < volume.getYSize(); ++y)
        {
            const std::uint16_t* row = volume.getRowPtr(y, z);
            for (std::int32_t x = 0; x < volume.getXSize(); ++x)
            {
                const std::uint16_t label = row[x];
                if (label == last)
                    continue;
                last = label;
                if (!seen[label])
                {
                    seen[label] = true;
                    order.push_back(label);
                }
            }
        }
    }
    return order;
}

bool CRegionRenumbering::isIdentity(const tOrder& order)
{
    for (std::size_t i = 0; i < order.size(); ++i)
    {
        if (order[i] != i)
            return false;
    }
    return true;
}

void CRegionRenumbering::renumber(tVolume& volume, const tOrder& order)
{
    std::vector<std::uint16_t> newLabel(65536, 0);
    for (std::size_t i = 0; i < order.size(); ++i)
        newLabel[order[i]] = static_cast<std::uint16_t>(i);
    for (std::int32_t z = 0; z < volume.getZSize(); ++z)
    {
        for (std::int32_t y = 0; y < volume.getYSize(); ++y)
        {
            std::uint16_t* row = volume.getRowPtr(y, z);
            for (std::int32_t x = 0; x < volume.getXSize(); ++x)
                row[x] = newLabel[row[x]];
        }
    }
}

void CRegionRenumbering::rebuildColoring(data::CRegionColoring& coloring, const tOrder& order)
{
    struct CEntry
    {
        data::CRegionColoring::CColor color;
        std::string name;
        bool visible = true;
    };
    const int oldCount = coloring.getCount();
    const int oldActive = coloring.getActive();
    std::vector<CEntry> entries;
    entries.reserve(order.size());
    std::optional<int> newActive;
    for (std::size_t i = 0; i < order.size(); ++i)
    {
        const int label = order[i];
        if (label == oldActive)
            newActive = static_cast<int>(i);
        if (label < oldCount)
            entries.push_back({coloring.getColor(label), coloring.getName(label), coloring.isVisible(label)});
        else
            entries.push_back({coloring.makeRandomColor(), data::CRegionColoring::UNNAMED, true});
    }

    const int count = static_cast<int>(entries.size());
    coloring.resize(count, false);
    for (int i = 0; i < count; ++i)
    {
        const CEntry& entry = entries[std::size_t(i)];
        coloring.setColor(i, entry.color);
        coloring.setName(i, entry.name);
        coloring.setVisible(i, entry.visible);
    }
    coloring.setActive(newActive ? *newActive : (count > 1 ? 1 : 0));
}

} // namespace tolvane
