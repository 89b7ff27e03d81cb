#include "toolkit/mod/CCompressorFactory.h"

#include "toolkit/base/CException.h"
#include "toolkit/mod/CDensityCompressor.h"
#include "toolkit/mod/CGZipCompressor.h"
#include "toolkit/mod/CRLE16Compressor.h"
#include "toolkit/mod/CRLE8Compressor.h"
#include "toolkit/mod/CRawCompressor.h"

namespace kvo::mod {

CCompressorFactory::CCompressorFactory()
    : m_creators{
          {CChannelCompressor::METHOD_RAW, []() -> CChannelCompressor* { return new CRawCompressor(); }},
          {CChannelCompressor::METHOD_RLE8, []() -> CChannelCompressor* { return new CRLE8Compressor(); }},
          {CChannelCompressor::METHOD_RLE16, []() -> CChannelCompressor* { return new CRLE16Compressor(); }},
          {CChannelCompressor::METHOD_GZIP,
           []() -> CChannelCompressor* { return new CGZipCompressor(CGZipCompressor::DEFAULT_LEVEL); }},
          {CChannelCompressor::METHOD_DENSITY, []() -> CChannelCompressor* { return new CDensityCompressor(); }},
      }
{
}

CCompressorFactory& CCompressorFactory::getInstance()
{
    return kvo::base::CSingletonHolder<CCompressorFactory>::getInstance();
}

CChannelCompressor* CCompressorFactory::create(std::int32_t method) const
{
    const auto found = m_creators.find(method);
    if (found == m_creators.end())
        throw kvo::base::Factory::CCannotCreate();
    return found->second();
}

} // namespace kvo::mod
