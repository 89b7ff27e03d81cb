#include "plug/CProductInfo.h"

#include <charconv>

namespace app {

std::string CProductInfo::toString() const
{
    return m_name + " " + std::to_string(m_major) + "." + std::to_string(m_minor);
}

bool CProductInfo::fromString(const std::string& text)
{
    const std::size_t blank = text.rfind(' ');
    const std::string version = (blank == std::string::npos) ? text : text.substr(blank + 1);
    const std::size_t dot = version.find('.');
    if (dot == std::string::npos)
        return false;
    std::int32_t major = 0;
    std::int32_t minor = 0;
    const char* begin = version.data();
    const char* end = begin + version.size();
    auto first = std::from_chars(begin, begin + dot, major);
    auto second = std::from_chars(begin + dot + 1, end, minor);
    if (first.ec != std::errc() || first.ptr != begin + dot || second.ec != std::errc() || second.ptr != end)
        return false;
    m_major = major;
    m_minor = minor;
    return true;
}

} // namespace app

namespace plug {

std::string CPluginInfo::getDescription() const
{
    return m_group + " Plugin " + std::to_string(getMajor()) + "." + std::to_string(getMinor());
}

} // namespace plug
