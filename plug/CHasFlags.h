#pragma once
#include <cstdint>

namespace plug {

//! A plain holder of one flags word.
class CHasFlags
{
public:
    explicit CHasFlags(std::uint32_t flags = 0) : m_flags(flags) {}

    std::uint32_t getFlags() const { return m_flags; }
    void setFlags(std::uint32_t flags) { m_flags = flags; }
    bool hasFlag(std::uint32_t flag) const { return (m_flags & flag) != 0; }

protected:
    std::uint32_t m_flags;
};

//! CPlugin flag: the plug-in object owns its interface and deletes it when destroyed.
constexpr std::uint32_t PLUGIN_OWNS_INTERFACE = 0x400;
//! Registry flag: registration is refused.
constexpr std::uint32_t REGISTRY_REFUSE = 0x800;

} // namespace plug
