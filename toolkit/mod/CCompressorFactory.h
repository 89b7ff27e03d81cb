#pragma once
// Makes compressors from the method identifiers stored in block headers:
// METHOD_RAW (0), METHOD_RLE8 (1), METHOD_RLE16 (2), METHOD_GZIP (3, level 6) and
// METHOD_DENSITY (8). One instance per library, created on first use (lifetime 1024).

#include "toolkit/base/CSingleton.h"
#include "toolkit/mod/CChannelCompressor.h"

#include <map>

namespace kvo::mod {

class CCompressorFactory : public kvo::base::CSingleton<1024>
{
public:
    //! Returns a new heap compressor.
    using tCreator = CChannelCompressor* (*)();

    CCompressorFactory();
    CCompressorFactory(const CCompressorFactory&) = delete;
    CCompressorFactory& operator=(const CCompressorFactory&) = delete;

    //! The library's instance, created on first use.
    static CCompressorFactory& getInstance();

    bool canCreate(std::int32_t method) const { return m_creators.count(method) != 0; }

    //! A new heap compressor for the method (reference count 0, no wrapped channel: give it
    //! one with setChannel). Raises kvo::base::Factory::CCannotCreate for an unknown method.
    CChannelCompressor* create(std::int32_t method) const;

private:
    std::map<std::int32_t, tCreator> m_creators;
};

} // namespace kvo::mod
