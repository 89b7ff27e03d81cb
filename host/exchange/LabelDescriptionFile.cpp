#include "host/exchange/LabelDescriptionFile.h"

#include "toolkit/sys/CReplacingFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>

namespace velmora::exchange {

namespace {

constexpr const char* HEADER
    = "################################################\n"
      "# Label Description File\n"
      "# File format:\n"
      "# IDX   -R-  -G-  -B-  -A--  VIS MSH  LABEL\n"
      "# Fields:\n"
      "#    IDX:   Zero-based index\n"
      "#    -R-:   Red colour component (0..255)\n"
      "#    -G-:   Green colour component (0..255)\n"
      "#    -B-:   Blue colour component (0..255)\n"
      "#    -A-:   Label opacity (0.00 .. 1.00)\n"
      "#    VIS:   Label visibility (0 or 1)\n"
      "#    MSH:   Label mesh visibility (0 or 1)\n"
      "#  LABEL:   Label description in double quotes (\\\" for a quote, \\\\ for a backslash)\n"
      "################################################\n";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Reads the fields of one description line in turn; each returns false when the field is
// missing or malformed.
class CLineReader
{
public:
    explicit CLineReader(const std::string& line)
        : m_at(line.data()), m_end(line.data() + line.size())
    {
    }

    bool integer(long& value, long low, long high)
    {
        skipBlanks();
        const auto [next, error] = std::from_chars(m_at, m_end, value);
        if (error != std::errc() || !endsField(next) || value < low || value > high)
            return false;
        m_at = next;
        return true;
    }

    bool real(double& value)
    {
        skipBlanks();
        if (m_at != m_end && *m_at == '+')
            ++m_at;
        const auto [next, error] = std::from_chars(m_at, m_end, value);
        if (error != std::errc() || !endsField(next) || !std::isfinite(value))
            return false;
        m_at = next;
        return true;
    }

    //! The quoted name, which must end the line.
    bool quoted(std::string& name)
    {
        skipBlanks();
        if (m_at == m_end || *m_at != '"')
            return false;
        ++m_at;
        name.clear();
        for (;;) {
            if (m_at == m_end)
                return false;
            const char c = *m_at++;
            if (c == '"')
                break;
            if (c == '\\') {
                if (m_at == m_end)
                    return false;
                name += *m_at++;
            } else {
                name += c;
            }
        }
        skipBlanks();
        return m_at == m_end;
    }

private:
    void skipBlanks()
    {
        while (m_at != m_end && isBlank(*m_at))
            ++m_at;
    }
    bool endsField(const char* next) const { return next == m_end || isBlank(*next); }

    const char* m_at;
    const char* m_end;
};

std::string quotedName(const std::string& name)
{
    std::string text = "\"";
    for (char c : name) {
        if (c == '"' || c == '\\')
            text += '\\';
        text += c == '\n' || c == '\r' ? ' ' : c;
    }
    return text + '"';
}

std::string formatLine(const CLabelDescription& label)
{
    // Four significant digits bring every alpha byte back; to_chars writes a '.' whatever
    // the locale.
    char alpha[32];
    const auto end = std::to_chars(alpha, alpha + sizeof alpha, label.alpha / 255.0, std::chars_format::general, 4).ptr;
    char line[96];
    std::snprintf(line, sizeof line, "%5d %5d %4d %4d %9s %2d %2d    ", label.index, label.red, label.green, label.blue,
                  std::string(alpha, end).c_str(), label.visible ? 1 : 0, label.mesh ? 1 : 0);
    return line + quotedName(label.name) + "\n";
}

} // namespace

void writeLabelDescriptions(const std::string& path, const std::vector<CLabelDescription>& labels)
{
    const std::string what = "The label descriptions cannot be saved as " + path;
    for (const CLabelDescription& label : labels)
        if (label.index < 0 || label.index > 65535)
            throw std::runtime_error(what + ": label " + std::to_string(label.index) + " is outside 0 to 65535");
    kvo::sys::CReplacingFile file(path);
    if (!file.isReady())
        throw std::runtime_error(what + ": its folder does not exist or cannot be written to, or the name is a folder's");
    {
        std::ofstream out(file.getTemporaryPath(), std::ios::binary | std::ios::trunc);
        out << HEADER;
        for (const CLabelDescription& label : labels)
            out << formatLine(label);
        out.close();
        if (!out)
            throw std::runtime_error(what + ": writing the file failed (is the disk full?)");
    }
    if (!file.commit())
        throw std::runtime_error(what + ": the finished file could not take the place of " + path);
}

std::vector<CLabelDescription> readLabelDescriptions(const std::string& path)
{
    std::error_code error;
    std::ifstream in(path, std::ios::binary);
    if (!std::filesystem::is_regular_file(path, error) || !in)
        throw std::runtime_error("The label description file " + path + " does not exist or cannot be read");
    std::vector<CLabelDescription> labels;
    std::set<int> seen;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0)
            line.erase(0, 3); // a byte order mark
        const auto first = std::find_if(line.begin(), line.end(), [](char c) { return !isBlank(c); });
        if (first == line.end() || *first == '#')
            continue;
        CLineReader reader(line);
        long index = 0, red = 0, green = 0, blue = 0, visible = 0, mesh = 0;
        double alpha = 0.0;
        CLabelDescription label;
        if (!reader.integer(index, 0, 65535) || !reader.integer(red, 0, 255) || !reader.integer(green, 0, 255)
            || !reader.integer(blue, 0, 255) || !reader.real(alpha) || !reader.integer(visible, 0, 1)
            || !reader.integer(mesh, 0, 1) || !reader.quoted(label.name))
            throw std::runtime_error("Line " + std::to_string(number) + " of the label description file " + path
                                     + " is not a label description (IDX R G B A VIS MSH \"LABEL\" with IDX 0..65535, "
                                       "R, G, B 0..255, A 0..1, VIS and MSH 0 or 1)");
        if (!seen.insert(static_cast<int>(index)).second)
            throw std::runtime_error("Line " + std::to_string(number) + " of the label description file " + path
                                     + " describes label " + std::to_string(index) + " a second time");
        label.index = static_cast<int>(index);
        label.red = static_cast<std::uint8_t>(red);
        label.green = static_cast<std::uint8_t>(green);
        label.blue = static_cast<std::uint8_t>(blue);
        label.alpha = static_cast<std::uint8_t>(std::lround(std::clamp(alpha, 0.0, 1.0) * 255.0));
        label.visible = visible != 0;
        label.mesh = mesh != 0;
        labels.push_back(std::move(label));
    }
    if (in.bad())
        throw std::runtime_error("The label description file " + path + " cannot be read to its end");
    return labels;
}

std::string descriptionPathFor(const std::string& labelMapPath)
{
    auto endsWith = [&](const std::string& ending) {
        return labelMapPath.size() >= ending.size()
               && std::equal(ending.rbegin(), ending.rend(), labelMapPath.rbegin(), [](char a, char b) {
                      return a == std::tolower(static_cast<unsigned char>(b));
                  });
    };
    for (const std::string ending : {".nii.gz", ".nii"})
        if (endsWith(ending))
            return labelMapPath.substr(0, labelMapPath.size() - ending.size()) + ".txt";
    return std::filesystem::path(labelMapPath).replace_extension(".txt").string();
}

} // namespace velmora::exchange
