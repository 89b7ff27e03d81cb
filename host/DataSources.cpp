#include "host/DataSources.h"

#include "host/import/CDicomSeriesReader.h"
#include "host/import/CNiftiReader.h"
#include "host/import/CPhantomSource.h"
#include "host/import/CRawVolumeReader.h"
#include "host/ScriptWords.h"

#include <charconv>
#include <stdexcept>

namespace velmora {

namespace {

int parseSize(const std::string& text)
{
    int value = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || value <= 0)
        throw std::runtime_error("invalid size '" + text + "': expected a positive whole number");
    return value;
}

double parseSpacing(const std::string& text)
{
    const std::optional<double> value = parseWholeNumber(text);
    if (!value || !(*value > 0))
        throw std::runtime_error("invalid spacing '" + text + "': expected a positive number");
    return *value;
}

std::vector<std::string> splitOn(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true)
    {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return parts;
}

} // namespace

import::CLoadedVolume loadSource(const std::vector<std::string>& words)
{
    if (words.empty())
        throw std::runtime_error("missing data source");
    const std::string& kind = words[0];
    if (kind == "phantom")
    {
        if (words.size() == 1)
            return import::CPhantomSource().generate();
        if (words.size() != 4)
            throw std::runtime_error("usage: phantom [X Y Z]");
        return import::CPhantomSource(parseSize(words[1]), parseSize(words[2]), parseSize(words[3])).generate();
    }
    if (kind == "dicom" && words.size() == 2)
        return import::CDicomSeriesReader().read(words[1]);
    if (kind == "nifti" && words.size() == 2)
        return import::CNiftiReader().read(words[1]);
    if (kind == "raw" && (words.size() == 5 || words.size() == 8))
    {
        double dx = 1, dy = 1, dz = 1;
        if (words.size() == 8)
        {
            dx = parseSpacing(words[5]);
            dy = parseSpacing(words[6]);
            dz = parseSpacing(words[7]);
        }
        return import::CRawVolumeReader(parseSize(words[2]), parseSize(words[3]), parseSize(words[4]), dx, dy, dz)
            .read(words[1]);
    }
    throw std::runtime_error("unknown data source; expected phantom [X Y Z], dicom DIR, nifti FILE or raw FILE X Y Z [DX DY DZ]");
}

import::CLoadedVolume loadSource(const std::string& source)
{
    const std::size_t colon = source.find(':');
    const std::string kind = source.substr(0, colon);
    const std::string rest = colon == std::string::npos ? std::string() : source.substr(colon + 1);
    if (kind == "phantom")
    {
        if (colon == std::string::npos)
            return loadSource(std::vector<std::string>{"phantom"});
        const auto sizes = splitOn(rest, 'x');
        if (sizes.size() != 3)
            throw std::runtime_error("usage: phantom[:XxYxZ]");
        return loadSource(std::vector<std::string>{"phantom", sizes[0], sizes[1], sizes[2]});
    }
    if ((kind == "dicom" || kind == "nifti") && !rest.empty())
        return loadSource(std::vector<std::string>{kind, rest});
    if (kind == "raw")
    {
        // raw:FILE:XxYxZ[:DX,DY,DZ]; the file name may itself hold colons, so read from the end.
        std::vector<std::string> parts = splitOn(rest, ':');
        std::vector<std::string> spacing;
        if (parts.size() >= 3 && parts.back().find(',') != std::string::npos)
        {
            spacing = splitOn(parts.back(), ',');
            parts.pop_back();
        }
        if (parts.size() < 2)
            throw std::runtime_error("usage: raw:FILE:XxYxZ[:DX,DY,DZ]");
        const auto sizes = splitOn(parts.back(), 'x');
        parts.pop_back();
        std::string file = parts[0];
        for (std::size_t i = 1; i < parts.size(); ++i)
            file += ":" + parts[i];
        if (sizes.size() != 3 || (!spacing.empty() && spacing.size() != 3))
            throw std::runtime_error("usage: raw:FILE:XxYxZ[:DX,DY,DZ]");
        std::vector<std::string> words{"raw", file, sizes[0], sizes[1], sizes[2]};
        words.insert(words.end(), spacing.begin(), spacing.end());
        return loadSource(words);
    }
    throw std::runtime_error("unknown data source '" + source +
                             "'; expected phantom[:XxYxZ], dicom:DIR, nifti:FILE or raw:FILE:XxYxZ[:DX,DY,DZ]");
}

} // namespace velmora
