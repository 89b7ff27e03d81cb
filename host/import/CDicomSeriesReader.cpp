#include "host/import/CDicomSeriesReader.h"

#include "host/import/CDensityRounder.h"
#include "host/import/CImportError.h"
#include "host/import/CVolumeLimits.h"

#include <gdcmImage.h>
#include <gdcmImageReader.h>
#include <gdcmPixelFormat.h>
#include <gdcmScanner.h>
#include <gdcmTag.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <system_error>

namespace velmora::import {

namespace {

const gdcm::Tag TAG_SERIES_UID(0x0020, 0x000e);
const gdcm::Tag TAG_INSTANCE_NUMBER(0x0020, 0x0013);
const gdcm::Tag TAG_POSITION(0x0020, 0x0032);
const gdcm::Tag TAG_ORIENTATION(0x0020, 0x0037);
const gdcm::Tag TAG_SLICE_THICKNESS(0x0018, 0x0050);
const gdcm::Tag TAG_SLICE_SPACING(0x0018, 0x0088);
const gdcm::Tag TAG_FRAMES(0x0028, 0x0008);
const gdcm::Tag TAG_ROWS(0x0028, 0x0010);
const gdcm::Tag TAG_COLUMNS(0x0028, 0x0011);
const gdcm::Tag TAG_PIXEL_SPACING(0x0028, 0x0030);

// Two slice positions closer than this (mm) along the normal are the same position.
constexpr double SAME_POSITION_MM = 1e-3;
// Gaps between slices that differ from their mean by more than this share are reported.
constexpr double UNEVEN_SPACING_SHARE = 0.01;

// A multi-valued DICOM number string ("0.97\0.97"); empty when any value is not a number.
std::vector<double> parseNumbers(const char* text)
{
    std::vector<double> numbers;
    if (text == nullptr)
        return numbers;
    const char* end = text + std::strlen(text);
    const char* at = text;
    while (at <= end) {
        const char* stop = std::find(at, end, '\\');
        const char* first = at;
        const char* last = stop;
        while (first < last && (*first == ' ' || *first == '+'))
            ++first;
        while (last > first && (last[-1] == ' ' || last[-1] == '\0'))
            --last;
        double value = 0.0;
        // from_chars ignores the locale, which a GUI host may have changed.
        const auto result = std::from_chars(first, last, value);
        if (first == last || result.ec != std::errc() || result.ptr != last || !std::isfinite(value))
            return {};
        numbers.push_back(value);
        at = stop + 1;
    }
    return numbers;
}

// A count such as Rows; -1 when missing, fractional or out of any sensible range, which
// the size check then refuses.
long long parseCount(const char* text)
{
    const std::vector<double> numbers = parseNumbers(text);
    if (numbers.empty() || numbers.front() != std::floor(numbers.front()) || numbers.front() < 0.0
        || numbers.front() > 1e9)
        return -1;
    return static_cast<long long>(numbers.front());
}

std::optional<double> parseNumber(const char* text)
{
    const std::vector<double> numbers = parseNumbers(text);
    if (numbers.empty())
        return std::nullopt;
    return numbers.front();
}

struct CSlice
{
    std::string file;
    long long rows = 0;
    long long columns = 0;
    std::optional<std::vector<double>> position;    // 3 values
    std::optional<std::vector<double>> orientation; // 6 values
    double instanceNumber = 0.0;
    double along = 0.0; // position along the slice normal, mm
};

std::string sizeText(long long columns, long long rows)
{
    return std::to_string(columns) + " x " + std::to_string(rows);
}

// Decodes one slice into `target` (columns * rows densities), applying its rescale.
void readSlice(const CSlice& slice, std::size_t pixelCount, std::int16_t* target, CDensityRounder& rounder)
{
    gdcm::ImageReader reader;
    reader.SetFileName(slice.file.c_str());
    if (!reader.Read())
        throw CImportError("DICOM file " + slice.file + " cannot be decoded");
    const gdcm::Image& image = reader.GetImage();
    if (image.GetNumberOfDimensions() > 2 && image.GetDimension(2) > 1)
        throw CImportError("DICOM file " + slice.file + " holds several frames, which is not supported");
    if (static_cast<long long>(image.GetDimension(0)) != slice.columns
        || static_cast<long long>(image.GetDimension(1)) != slice.rows)
        throw CImportError("DICOM file " + slice.file + " has an image size that does not match its header");

    const gdcm::PixelFormat& format = image.GetPixelFormat();
    if (format.GetSamplesPerPixel() != 1)
        throw CImportError("DICOM file " + slice.file + " is a colour image, which is not supported");
    const unsigned long length = image.GetBufferLength();
    if (length == 0 || length % pixelCount != 0)
        throw CImportError("DICOM file " + slice.file + " has pixel data of an unexpected length");
    const std::size_t bytesPerPixel = length / pixelCount;
    const unsigned bitsStored = format.GetBitsStored();
    if ((bytesPerPixel != 1 && bytesPerPixel != 2 && bytesPerPixel != 4) || bitsStored == 0
        || bitsStored > bytesPerPixel * 8 || format.GetScalarType() == gdcm::PixelFormat::FLOAT32
        || format.GetScalarType() == gdcm::PixelFormat::FLOAT64)
        throw CImportError("DICOM file " + slice.file + " has an unsupported pixel format ("
                           + format.GetScalarTypeAsString() + ")");

    // For uncompressed data GDCM pads a short Pixel Data element with zeros and only warns;
    // a damaged file must not load with zeros in place of the missing pixels.
    const gdcm::ByteValue* stored = image.GetDataElement().GetByteValue();
    const std::uint64_t storedBits = static_cast<std::uint64_t>(pixelCount) * format.GetBitsAllocated();
    if (stored != nullptr && static_cast<std::uint64_t>(stored->GetLength()) * 8 < storedBits)
        throw CImportError("DICOM file " + slice.file + " has less pixel data than its image size needs");

    std::vector<char> buffer(length);
    if (!image.GetBuffer(buffer.data()))
        throw CImportError("DICOM file " + slice.file + " cannot be decoded");

    const bool isSigned = format.GetPixelRepresentation() == 1;
    // Bits above Bits Stored may hold overlays or garbage; keep the stored bits only and
    // extend the sign from there (a no-op if the decoder already did).
    const bool maskBits = bitsStored < bytesPerPixel * 8 && format.GetHighBit() + 1u == bitsStored;
    const std::int64_t mask = (std::int64_t(1) << bitsStored) - 1;
    const std::int64_t signBit = std::int64_t(1) << (bitsStored - 1);

    const double slope = image.GetSlope();
    const double intercept = image.GetIntercept();
    const bool identity = slope == 1.0 && intercept == std::round(intercept) && std::fabs(intercept) < 1e9;
    const auto integerIntercept = static_cast<std::int64_t>(identity ? intercept : 0.0);

    for (std::size_t i = 0; i < pixelCount; ++i) {
        std::int64_t raw = 0;
        const char* bytes = buffer.data() + i * bytesPerPixel;
        switch (bytesPerPixel) {
        case 1: {
            std::uint8_t v;
            std::memcpy(&v, bytes, 1);
            raw = isSigned ? std::int64_t(static_cast<std::int8_t>(v)) : std::int64_t(v);
            break;
        }
        case 2: {
            std::uint16_t v;
            std::memcpy(&v, bytes, 2);
            raw = isSigned ? std::int64_t(static_cast<std::int16_t>(v)) : std::int64_t(v);
            break;
        }
        default: {
            std::uint32_t v;
            std::memcpy(&v, bytes, 4);
            raw = isSigned ? std::int64_t(static_cast<std::int32_t>(v)) : std::int64_t(v);
            break;
        }
        }
        if (maskBits) {
            raw &= mask;
            if (isSigned && (raw & signBit))
                raw -= mask + 1;
        }
        target[i] = identity ? rounder.fromInteger(raw + integerIntercept)
                             : rounder.fromReal(static_cast<double>(raw) * slope + intercept);
    }
}

} // namespace

CLoadedVolume CDicomSeriesReader::read(const std::string& folder) const
{
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error))
        throw CImportError("Folder " + folder + " does not exist or is not a folder");

    std::vector<std::string> files;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError))
            files.push_back(it->path().string());
    }
    if (error)
        throw CImportError("Folder " + folder + " cannot be listed: " + error.message());
    if (files.empty())
        throw CImportError("No DICOM images found in " + folder + ": the folder holds no files");
    std::sort(files.begin(), files.end());

    gdcm::Scanner scanner;
    for (const gdcm::Tag& tag : {TAG_SERIES_UID, TAG_INSTANCE_NUMBER, TAG_POSITION, TAG_ORIENTATION,
                                 TAG_SLICE_THICKNESS, TAG_SLICE_SPACING, TAG_FRAMES, TAG_ROWS, TAG_COLUMNS,
                                 TAG_PIXEL_SPACING})
        scanner.AddTag(tag);
    scanner.Scan(files);

    // Series Instance UID -> its images, in file name order.
    std::map<std::string, std::vector<CSlice>> series;
    for (const std::string& file : files) {
        if (!scanner.IsKey(file.c_str()))
            continue;
        const char* rows = scanner.GetValue(file.c_str(), TAG_ROWS);
        const char* columns = scanner.GetValue(file.c_str(), TAG_COLUMNS);
        if (rows == nullptr || columns == nullptr)
            continue;
        CSlice slice;
        slice.file = file;
        slice.rows = parseCount(rows);
        slice.columns = parseCount(columns);
        if (parseCount(scanner.GetValue(file.c_str(), TAG_FRAMES)) > 1)
            throw CImportError("DICOM file " + file + " holds several frames, which is not supported");
        if (auto position = parseNumbers(scanner.GetValue(file.c_str(), TAG_POSITION)); position.size() == 3)
            slice.position = std::move(position);
        if (auto orientation = parseNumbers(scanner.GetValue(file.c_str(), TAG_ORIENTATION)); orientation.size() == 6)
            slice.orientation = std::move(orientation);
        slice.instanceNumber = parseNumber(scanner.GetValue(file.c_str(), TAG_INSTANCE_NUMBER)).value_or(0.0);
        const char* uid = scanner.GetValue(file.c_str(), TAG_SERIES_UID);
        series[uid ? uid : ""].push_back(std::move(slice));
    }
    if (series.empty())
        throw CImportError("No DICOM images found in " + folder);

    CLoadedVolume volume;
    auto chosen = series.begin();
    for (auto it = series.begin(); it != series.end(); ++it)
        if (it->second.size() > chosen->second.size())
            chosen = it;
    if (series.size() > 1)
        volume.warnings.push_back(folder + " holds " + std::to_string(series.size()) + " DICOM series; the one with "
                                  + std::to_string(chosen->second.size()) + " images was loaded");
    std::vector<CSlice>& slices = chosen->second;
    const std::string source = "The DICOM series in " + folder;

    for (const CSlice& slice : slices)
        if (slice.rows != slices.front().rows || slice.columns != slices.front().columns)
            throw CImportError(source + " has slices of different sizes ("
                               + sizeText(slices.front().columns, slices.front().rows) + " and "
                               + sizeText(slice.columns, slice.rows) + ")");

    const bool positioned = std::all_of(slices.begin(), slices.end(), [](const CSlice& slice) {
        return slice.position.has_value() && slice.orientation.has_value();
    });
    std::optional<double> spacingFromPositions;
    if (positioned) {
        const std::vector<double>& o = *slices.front().orientation;
        const double normal[3] = {o[1] * o[5] - o[2] * o[4], o[2] * o[3] - o[0] * o[5], o[0] * o[4] - o[1] * o[3]};
        const double normalLength = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
        if (!(normalLength > 1e-6))
            throw CImportError(source + " has an invalid Image Orientation");
        for (CSlice& slice : slices) {
            for (int i = 0; i < 6; ++i)
                if (std::fabs((*slice.orientation)[i] - o[i]) > 1e-3)
                    throw CImportError(source + " has slices of different orientations");
            const std::vector<double>& p = *slice.position;
            slice.along = (p[0] * normal[0] + p[1] * normal[1] + p[2] * normal[2]) / normalLength;
        }
        std::stable_sort(slices.begin(), slices.end(),
                         [](const CSlice& a, const CSlice& b) { return a.along < b.along; });
        const std::size_t before = slices.size();
        slices.erase(std::unique(slices.begin(), slices.end(),
                                 [](const CSlice& a, const CSlice& b) {
                                     return std::fabs(a.along - b.along) < SAME_POSITION_MM;
                                 }),
                     slices.end());
        if (slices.size() != before)
            volume.warnings.push_back(source + " has " + std::to_string(before - slices.size())
                                      + " images at positions already taken; they were ignored");
        if (slices.size() > 1) {
            const double mean = (slices.back().along - slices.front().along) / static_cast<double>(slices.size() - 1);
            double smallest = mean;
            double largest = mean;
            for (std::size_t i = 1; i < slices.size(); ++i) {
                const double gap = slices[i].along - slices[i - 1].along;
                smallest = std::min(smallest, gap);
                largest = std::max(largest, gap);
            }
            if (largest - smallest > UNEVEN_SPACING_SHARE * mean) {
                std::ostringstream message;
                message << source << " has uneven slice spacing (" << smallest << " to " << largest
                        << " mm); the mean " << mean << " mm is used";
                volume.warnings.push_back(message.str());
            }
            spacingFromPositions = mean;
        }
    } else {
        std::stable_sort(slices.begin(), slices.end(),
                         [](const CSlice& a, const CSlice& b) { return a.instanceNumber < b.instanceNumber; });
        if (slices.size() > 1)
            volume.warnings.push_back(source + " gives no slice positions; the slices were ordered by instance number");
    }

    if (spacingFromPositions) {
        volume.dz = *spacingFromPositions;
    } else {
        const char* first = slices.front().file.c_str();
        auto fallback = parseNumber(scanner.GetValue(first, TAG_SLICE_SPACING));
        if (!fallback || *fallback <= 0.0)
            fallback = parseNumber(scanner.GetValue(first, TAG_SLICE_THICKNESS));
        if (fallback && *fallback > 0.0) {
            volume.dz = *fallback;
        } else {
            volume.dz = 1.0;
            if (slices.size() > 1)
                volume.warnings.push_back(source + " gives no slice spacing; 1 mm was assumed");
        }
    }
    const std::vector<double> pixelSpacing = parseNumbers(scanner.GetValue(slices.front().file.c_str(), TAG_PIXEL_SPACING));
    if (pixelSpacing.size() == 2 && pixelSpacing[0] > 0.0 && pixelSpacing[1] > 0.0) {
        volume.dy = pixelSpacing[0];
        volume.dx = pixelSpacing[1];
    } else {
        volume.dx = volume.dy = 1.0;
        volume.warnings.push_back(source + " gives no valid Pixel Spacing; 1 mm was assumed");
    }

    const std::size_t voxelCount
        = CVolumeLimits::checkedVoxelCount(slices.front().columns, slices.front().rows, static_cast<std::int64_t>(slices.size()), source);
    CVolumeLimits::checkSpacing(volume.dx, volume.dy, volume.dz, source);
    volume.xSize = static_cast<int>(slices.front().columns);
    volume.ySize = static_cast<int>(slices.front().rows);
    volume.zSize = static_cast<int>(slices.size());
    volume.voxels.resize(voxelCount);

    const std::size_t pixelCount = static_cast<std::size_t>(volume.xSize) * static_cast<std::size_t>(volume.ySize);
    CDensityRounder rounder;
    for (std::size_t z = 0; z < slices.size(); ++z)
        readSlice(slices[z], pixelCount, volume.voxels.data() + z * pixelCount, rounder);
    rounder.addWarnings(source, volume.warnings);
    return volume;
}

} // namespace velmora::import
