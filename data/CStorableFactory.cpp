#include "data/CStorableFactory.h"

#include "toolkit/base/CException.h"

namespace data {

CStorableFactory& CStorableFactory::getInstance()
{
    return kvo::base::CSingletonHolder<CStorableFactory>::getInstance();
}

void CStorableFactory::registerCreator(int id, const tCreator& creator)
{
    if (creator.isEmpty())
        m_creators.erase(id);
    else
        m_creators.insert_or_assign(id, creator);
}

void CStorableFactory::setDependencies(int id, const std::set<int>& dependencies)
{
    if (dependencies.empty())
        m_dependencies.erase(id);
    else
        m_dependencies[id] = dependencies;
}

void CStorableFactory::addDependency(int id, int dependsOn) { m_dependencies[id].insert(dependsOn); }

CStorableData* CStorableFactory::create(int id) const
{
    auto found = m_creators.find(id);
    if (found == m_creators.end())
        throw kvo::base::Factory::CCannotCreate();
    CStorableData* object = found->second();
    if (!object)
        throw kvo::base::Factory::CCannotCreate();
    return object;
}

std::set<int> CStorableFactory::getDependencies(int id) const
{
    auto found = m_dependencies.find(id);
    return found != m_dependencies.end() ? found->second : std::set<int>();
}

} // namespace data
