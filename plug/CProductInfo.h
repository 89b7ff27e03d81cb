#pragma once
// Product and plug-in descriptions: a name, a version major.minor, and for plug-ins the
// host they are built for and the group they belong to.

#include <cstdint>
#include <string>

namespace app {

class CProductInfo
{
public:
    CProductInfo() = default;
    CProductInfo(std::string name, std::int32_t major, std::int32_t minor)
        : m_name(std::move(name)), m_major(major), m_minor(minor) {}
    virtual ~CProductInfo() = default;

    //! "NAME MAJOR.MINOR", numbers in decimal.
    virtual std::string toString() const;
    //! Reads the version back from such a text: the part behind the last blank is read as
    //! MAJOR.MINOR. Returns false and changes nothing when that part is not a version.
    virtual bool fromString(const std::string& text);

    const std::string& getName() const { return m_name; }
    std::int32_t getMajor() const { return m_major; }
    std::int32_t getMinor() const { return m_minor; }
    const std::string& getExtra() const { return m_extra; }

protected:
    std::string m_name;
    std::int32_t m_major = 0;
    std::int32_t m_minor = 0;
    std::string m_extra; //!< a fourth text field, always empty for the plug-ins
};

} // namespace app

namespace plug {

class CPluginInfo : public app::CProductInfo
{
public:
    CPluginInfo(std::string host, std::string name, std::string group, std::int32_t major, std::int32_t minor)
        : CProductInfo(std::move(name), major, minor), m_host(std::move(host)), m_group(std::move(group)) {}

    //! "GROUP Plugin MAJOR.MINOR", e.g. "Segmentation Plugin 1.3".
    virtual std::string getDescription() const;

    const std::string& getHost() const { return m_host; }
    const std::string& getGroup() const { return m_group; }

private:
    std::string m_host;
    std::string m_group;
};

} // namespace plug
