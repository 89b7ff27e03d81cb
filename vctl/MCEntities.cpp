// Descriptions of the mesh entities.

#include "vctl/MCEdge.h"
#include "vctl/MCTri.h"
#include "vctl/MCVertex.h"

#include <sstream>

namespace vctl {

std::string MCVertex::toString() const
{
    std::ostringstream stream;
    stream << "Vertex " << entityName() << " : " << m_x << " / " << m_y << " / " << m_z;
    return stream.str();
}

std::string MCEdge::toString() const
{
    std::ostringstream stream;
    stream << "Edge " << entityName() << " : " << static_cast<const void*>(getVertex(0)) << " / "
           << static_cast<const void*>(getVertex(1));
    return stream.str();
}

std::string MCTri::toString() const
{
    std::ostringstream stream;
    stream << "Tri " << entityName() << " : " << static_cast<const void*>(getVertex(0)) << " / "
           << static_cast<const void*>(getVertex(1)) << " / " << static_cast<const void*>(getVertex(2));
    return stream.str();
}

} // namespace vctl
