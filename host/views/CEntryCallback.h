#pragma once
// An observer of one storage entry that hands the changed object to a function, so that
// one window can follow several entries holding objects of different types. Like every
// CObjectObserver it runs on the invalidating thread with the entry's data lock held, and
// disconnects itself when destroyed.

#include "data/CObjectObserver.h"

#include <functional>
#include <utility>

namespace velmora::views {

template <class T>
class CEntryCallback : public data::CObjectObserver<T>
{
public:
    explicit CEntryCallback(std::function<void(T&)> callback) : m_callback(std::move(callback)) {}

    void objectChanged(T* object) override
    {
        if (object && m_callback)
            m_callback(*object);
    }

private:
    std::function<void(T&)> m_callback;
};

} // namespace velmora::views
