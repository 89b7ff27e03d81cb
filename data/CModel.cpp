#include "data/CModel.h"

#include "vctl/MCTriS.h"

#include <utility>

namespace data {

CModel::~CModel()
{
    if (m_owner)
        delete m_mesh;
}

void CModel::setMesh(vctl::MCTriS* mesh)
{
    if (mesh == m_mesh)
        return;
    if (m_owner)
        delete m_mesh;
    m_mesh = mesh;
    m_owner = true;
}

vctl::MCTriS* CModel::releaseMesh()
{
    return std::exchange(m_mesh, nullptr);
}

} // namespace data
