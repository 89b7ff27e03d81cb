#pragma once
// Saving and loading the segmentation (region volume 501 and colouring 502) as a `.seg`
// file: a serializer stream written by the serialization manager with the entry list
// {501, 502}. No windows: the caller chooses the file and shows the messages.
//
// Save writes a temporary file beside the target and renames it over the target only once
// the whole stream, terminal header included, was written and flushed; the target keeps
// its permission bits. A failed or cancelled save leaves an existing target byte for byte
// and removes the temporary file.
//
// Load reads everything into spare objects first: the entry list may name 501 and 502
// only, each at most once; the region volume must have the current data set's size; every
// block's check must match and the terminal header must follow. Only then are the
// contents copied into the storage's objects (which stay: undo snapshots refer to the
// region volume), one undo snapshot of the replaced labels is recorded, the colour table
// is grown to cover every label (new regions as "Create New" makes them) and the changed
// entries are announced with flags 2. A failed or cancelled load changes nothing.
// Memory: the spare region volume (one label volume) and buffers of one slice; nothing is
// allocated from sizes that the file gives beyond those bounds.

#include "toolkit/base/CFunctor.h"

#include <string>

namespace data {
class CDataStorage;
}

namespace kvo::mod {
class CChannel;
}

namespace tolvane {

class CSegmentationFile
{
public:
    enum class EResult
    {
        DONE,
        CANCELLED,
        FAILED,
    };

    //! bool(done, total), called after each entry; false cancels.
    using tProgressFunction = kvo::base::CFunctor<bool, int, int>;

    explicit CSegmentationFile(data::CDataStorage& storage) : m_storage(storage) {}

    //! Writes entries 501 and 502 (those that exist and have data) to `path` (narrow).
    EResult save(const std::string& path, const tProgressFunction& progress = {});
    //! Reads `path` (narrow) into entries 501 and 502 as described above.
    EResult load(const std::string& path, const tProgressFunction& progress = {});
    //! The same from a channel opened for reading.
    EResult load(kvo::mod::CChannel& channel, const tProgressFunction& progress = {});

private:
    data::CDataStorage& m_storage;
};

} // namespace tolvane
