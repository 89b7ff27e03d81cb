#pragma once
// How the host's code reaches the objects of its storage: each entry asked for is created on
// first use and brought up to date.

#include "data/CDataStorage.h"
#include "data/CObjectPtr.h"

namespace velmora {

inline constexpr int REQUEST = data::CDataStorage::REQUEST_CREATE | data::CDataStorage::REQUEST_UPDATE;

//! The object of entry `id`, locked for as long as the pointer lives.
template <class T>
data::CObjectPtr<T> take(data::CDataStorage& storage, int id)
{
    return data::CObjectPtr<T>(storage.getEntry(id, REQUEST));
}

} // namespace velmora
