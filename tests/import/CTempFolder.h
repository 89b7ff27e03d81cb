#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it when
// the object goes; the import tests write their crafted files there.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace velmora::import::test {

class CTempFolder
{
public:
    CTempFolder()
    {
        std::random_device device;
        for (;;) {
            m_path = std::filesystem::temp_directory_path() / ("velmora-import-" + std::to_string(device()));
            if (std::filesystem::create_directory(m_path))
                break;
        }
    }
    ~CTempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    std::string path() const { return m_path.string(); }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) const
    {
        const std::string target = file(name);
        std::ofstream stream(target, std::ios::binary);
        stream.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return target;
    }

private:
    std::filesystem::path m_path;
};

inline std::vector<std::uint8_t> readBytes(const std::string& path)
{
    std::ifstream stream(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

inline std::string sharedData(const std::string& relative)
{
    return (std::filesystem::path(VELMORA_SHARED_DATA_DIR) / relative).string();
}

} // namespace velmora::import::test
