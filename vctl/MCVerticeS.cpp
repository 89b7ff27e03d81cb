#include "vctl/MCVerticeS.h"

#include <bit>
#include <cmath>

namespace vctl {

std::int32_t MCVerticeS::hashKey(double x, double y, double z)
{
    std::uint32_t h = 0;
    for (double c : {x, y, z})
    {
        // Rounding to 1e-9 makes nearly equal positions share a key in most cases.
        const double rounded = std::floor(c * 1e9 + 0.5);
        const std::uint64_t bits = std::bit_cast<std::uint64_t>(rounded);
        for (int i = 0; i < 8; ++i) // little-endian byte order
        {
            const auto b = static_cast<std::int8_t>((bits >> (8 * i)) & 0xFFu);
            h = static_cast<std::uint32_t>(static_cast<std::int32_t>(b)) ^ (h & 0xFC000000u) ^ (h << 6);
        }
    }
    return static_cast<std::int32_t>(h);
}

MCVertex* MCVerticeS::addMergedVertex(double x, double y, double z)
{
    const std::int32_t key = hashKey(x, y, z);
    auto range = m_hashMap.equal_range(key);
    for (auto it = range.first; it != range.second; ++it)
    {
        if (it->second->isAt(x, y, z))
            return it->second;
    }
    MCVertex* vertex = new (allocateEntity()) MCVertex(x, y, z);
    vertex->setHashKey(key);
    append(vertex);
    m_hashMap.emplace(key, vertex);
    return vertex;
}

void MCVerticeS::removeUnusedVertices()
{
    MCVertex* vertex = m_first;
    while (vertex)
    {
        MCVertex* next = vertex->getNext();
        if (vertex->isUnused())
        {
            auto range = m_hashMap.equal_range(vertex->getHashKey());
            for (auto it = range.first; it != range.second; ++it)
            {
                if (it->second == vertex)
                {
                    m_hashMap.erase(it);
                    break;
                }
            }
            destroy(vertex);
        }
        vertex = next;
    }
}

void MCVerticeS::clear()
{
    MCEntitieS<MCVertex>::clear();
    m_hashMap.clear();
}

} // namespace vctl
