#include "toolkit/mod/CChannel.h"

#include <algorithm>

namespace kvo::mod {

bool CChannel::skip(std::int32_t length)
{
    constexpr std::int32_t PIECE = 64;
    if (isInput() && isOutput())
        return false;
    if (length <= 0)
        return true;
    char buffer[PIECE] = {};
    if (isInput())
    {
        while (length > 0)
        {
            const std::int32_t piece = std::min(length, PIECE);
            if (read(buffer, piece) != piece)
                return false;
            length -= piece;
        }
        return true;
    }
    if (isOutput())
    {
        while (length > 0)
        {
            const std::int32_t piece = std::min(length, PIECE);
            if (!write(buffer, piece))
                return false;
            length -= piece;
        }
        return true;
    }
    return false;
}

} // namespace kvo::mod
