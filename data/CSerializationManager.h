#pragma once
// Writes a chosen set of storage entries into one serializer stream and reads them back.
//
// Stream: the file header; the manager's own block "SerializationManager" (raw, block size
// 4096) holding the version 60, the number of entries and their identifiers (32-bit each);
// each entry's blocks, written by the entry's object; the terminal header.
//
// save keeps, in the given order, the entries that exist and have data, and reports
// progress after each entry. load reads the list from the stream and lets each named entry
// read itself in place (init, deserialize, invalidate with flags 2); nothing is rolled back
// when a later entry fails. loadInto reads the same stream into objects the caller chooses,
// so that a caller can check everything (terminal header included) before it changes the
// storage. A progress function answering false stops either direction: save then leaves a
// stream without terminal header, load stops without the terminal check; both return false.

#include "toolkit/base/CFunctor.h"
#include "toolkit/mod/CBinarySerializer.h"

#include <cstdint>
#include <vector>

namespace kvo::mod {
class CSerializable;
}

namespace data {

class CDataStorage;

class CSerializationManager
{
public:
    using tProgressFunction = kvo::base::CFunctor<bool, int, int>;
    //! The object that entry `id` of a stream is read into; null refuses the entry.
    using tTargetFunction = kvo::base::CFunctor<kvo::mod::CSerializable*, int>;

    static constexpr std::int32_t VERSION = 60;
    static constexpr const char* BLOCK_NAME = "SerializationManager";
    static constexpr std::int32_t BLOCK_METHOD = 0;
    static constexpr std::int32_t BLOCK_SIZE = 4096;
    //! The longest entry list a stream may hold: every usable identifier once.
    static constexpr std::int32_t MAX_ENTRIES = 2047;

    explicit CSerializationManager(CDataStorage& storage);

    //! An empty functor puts the accept-all function back.
    void setProgressFunction(const tProgressFunction& function);
    std::int32_t getDone() const { return m_done; }
    std::int32_t getTotal() const { return m_total; }

    //! Writes the entries `ids` that exist and have data. Serializer::CWriteFailed on any
    //! failed write; false when the progress function stopped it.
    bool save(kvo::mod::CBinarySerializer& serializer, const std::vector<int>& ids);

    //! Reads the stream into the entries it names; `list` receives their identifiers.
    //! Serializer::CReadFailed on a bad header, a missing block, a short read or a missing
    //! terminal header; false when the progress function stopped it.
    bool load(kvo::mod::CBinarySerializer& serializer, std::vector<int>& list);

    //! The start of a load: checks the file header and reads the manager's block into
    //! `list`. CReadFailed when either is bad or the list is longer than MAX_ENTRIES.
    void readEntryList(kvo::mod::CBinarySerializer& serializer, std::vector<int>& list);

    //! A load into the objects that `target` names, one per identifier of the stream's
    //! list, with the same progress and the terminal check. `list` receives the list.
    bool loadInto(kvo::mod::CBinarySerializer& serializer, std::vector<int>& list, const tTargetFunction& target);

private:
    bool reportProgress();

    CDataStorage& m_storage;
    std::int32_t m_done = 0;
    std::int32_t m_total = -1;
    tProgressFunction m_progress;
};

} // namespace data
