#include "toolkit/mod/CRawCompressor.h"

namespace kvo::mod {

std::int32_t CRawCompressor::read(char* buffer, std::int32_t length)
{
    if (!buffer || length <= 0 || !isInput() || !getChannel())
        return 0;
    return getChannel()->read(buffer, length);
}

bool CRawCompressor::write(const char* data, std::int32_t length)
{
    if (!data || length < 0 || !isOutput() || !getChannel())
        return false;
    return getChannel()->write(data, length);
}

} // namespace kvo::mod
