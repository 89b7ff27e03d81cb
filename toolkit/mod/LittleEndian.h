#pragma once
// 32-bit integers as the stream formats store them: little-endian, whatever the machine.

#include <cstdint>

namespace kvo::mod {

inline void putInt32(char* out, std::int32_t value)
{
    const std::uint32_t v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<char>((v >> (8 * i)) & 0xFFu);
}

inline std::int32_t getInt32(const char* in)
{
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[i])) << (8 * i);
    return static_cast<std::int32_t>(v);
}

} // namespace kvo::mod
