#pragma once
// What every serializer on a channel holds, whatever its stream format (the format is the
// derived class's, given as the template argument):
//  - progress: a done count, a total (-1 until someone sets it) and a progress function
//    bool(done, total) that by default accepts everything;
//  - flags (bit 0: no block framing, see the derived class);
//  - the base channel the stream lives on and the current channel that the data of an
//    open block pass through (both referenced).
// A serializer lives for one save or load on one thread.

#include "toolkit/base/CFunctor.h"
#include "toolkit/base/CObject.h"
#include "toolkit/mod/CChannel.h"

#include <cstdint>

namespace kvo::mod {

template <class Derived>
class CChannelSerializer : public kvo::base::CObject
{
public:
    using tProgressFunction = kvo::base::CFunctor<bool, int, int>;

    static constexpr std::uint32_t FLAG_NO_BLOCKS = 1;

    CChannelSerializer(CChannel* channel, std::uint32_t flags)
        : m_progressFunction(&CChannelSerializer::acceptAll), m_flags(flags), m_baseChannel(channel),
          m_currentChannel(channel)
    {
    }
    CChannelSerializer(const CChannelSerializer&) = delete;
    CChannelSerializer& operator=(const CChannelSerializer&) = delete;
    ~CChannelSerializer() override = default;

    std::uint32_t getFlags() const { return m_flags; }
    CChannel* getBaseChannel() const { return m_baseChannel.get(); }
    CChannel* getCurrentChannel() const { return m_currentChannel.get(); }

    //! An empty functor puts the accept-all function back.
    void setProgressFunction(const tProgressFunction& function)
    {
        m_progressFunction = function.isEmpty() ? tProgressFunction(&CChannelSerializer::acceptAll) : function;
    }
    std::int32_t getDone() const { return m_done; }
    std::int32_t getTotal() const { return m_total; }
    void setDone(std::int32_t done) { m_done = done; }
    void setTotal(std::int32_t total) { m_total = total; }
    //! Calls the progress function with (done, total); false asks the caller to stop.
    bool reportProgress() { return m_progressFunction(m_done, m_total); }

protected:
    void setCurrentChannel(CChannel* channel) { m_currentChannel = channel; }

private:
    static bool acceptAll(int, int) { return true; }

    std::int32_t m_done = 0;
    std::int32_t m_total = -1;
    tProgressFunction m_progressFunction;
    std::uint32_t m_flags;
    CChannelPtr m_baseChannel;
    CChannelPtr m_currentChannel;
};

} // namespace kvo::mod
