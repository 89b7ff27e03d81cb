#include "toolkit/base/CSingleton.h"

#include <cstdlib>
#include <list>

namespace kvo::base::detail {

namespace {

using tDestroyerList = std::list<CSingletonLifetime*>;
tDestroyerList* destroyers = nullptr;

void destroyFirstSingleton()
{
    if (!destroyers)
        return;
    if (!destroyers->empty())
    {
        CSingletonLifetime* first = destroyers->front();
        destroyers->pop_front();
        delete first;
    }
    if (destroyers->empty())
    {
        delete destroyers;
        destroyers = nullptr;
    }
}

} // namespace

void registerSingletonDestroyer(CSingletonLifetime* destroyer)
{
    if (!destroyers)
        destroyers = new tDestroyerList;
    auto position = destroyers->begin();
    while (position != destroyers->end() && (*position)->getLifetime() <= destroyer->getLifetime())
        ++position;
    destroyers->insert(position, destroyer);
    std::atexit(&destroyFirstSingleton);
}

} // namespace kvo::base::detail
