#include "host/import/CDicomSeriesReader.h"

#include "host/import/CDensityRounder.h"
#include "host/import/CImportError.h"
#include "host/import/CIsolatedWork.h"
#include "host/import/CVolumeLimits.h"
#include "toolkit/sys/MemoryLimit.h"
#include "toolkit/sys/MemoryPages.h"
#include "toolkit/sys/Shares.h"

#include <gdcmFile.h>
#include <gdcmImage.h>
#include <gdcmImageHelper.h>
#include <gdcmImageReader.h>
#include <gdcmPixelFormat.h>
#include <gdcmReader.h>
#include <gdcmSequenceOfFragments.h>
#include <gdcmScanner.h>
#include <gdcmTag.h>
#include <gdcmTransferSyntax.h>


#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>


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
const gdcm::Tag TAG_TRANSFER_SYNTAX(0x0002, 0x0010);
const gdcm::Tag TAG_BITS_ALLOCATED(0x0028, 0x0100);
const gdcm::Tag TAG_PIXEL_DATA(0x7fe0, 0x0010);

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

// How a slice's stored words become densities: words of 1, 2 or 4 bytes in this machine's
// (little-endian) order, of which the low `maskedBits` count (0: all of them), signed or
// not, times the slope plus the intercept. Sent through a pipe as it is.
struct CPixelLayout
{
    std::uint32_t bytesPerPixel = 2;
    std::uint32_t maskedBits = 0;
    std::uint32_t isSigned = 0;
    double slope = 1.0;
    double intercept = 0.0;

    bool isValid() const
    {
        return (bytesPerPixel == 1 || bytesPerPixel == 2 || bytesPerPixel == 4) && maskedBits < bytesPerPixel * 8
               && isSigned <= 1 && std::isfinite(slope) && std::isfinite(intercept);
    }
};

// Where an uncompressed slice keeps its pixels: the file offset of the first byte, and how
// to convert them (see CDicomSeriesReader.h).
struct CStoredPixels
{
    std::uint64_t offset = 0;
    CPixelLayout layout;
};

struct CSlice
{
    std::string file;
    std::string sliceSpacing;   // as stored, for the fallbacks of the first slice
    std::string sliceThickness;
    std::string pixelSpacing;
    std::string transferSyntax;
    std::string bitsAllocated;
    long long rows = 0;
    long long columns = 0;
    std::optional<std::vector<double>> position;    // 3 values
    std::optional<std::vector<double>> orientation; // 6 values
    double instanceNumber = 0.0;
    double along = 0.0; // position along the slice normal, mm
    std::optional<CStoredPixels> stored; // for uncompressed slices that the host reads itself
};

std::string sizeText(long long columns, long long rows)
{
    return std::to_string(columns) + " x " + std::to_string(rows);
}

// Messages of the reading children (see CIsolatedWork). The scanning child: the file whose
// header is read next, the volume's size and spacing, the next slice in volume order and,
// for an uncompressed slice, where its pixels lie, a warning. A decoding child: the number of the slice decoded next, its densities, the
// counts of clamped and not-a-number values. Both: an error for the user, the end.
constexpr char MSG_SCANNING = 'F';
constexpr char MSG_DECODING = 'G';
constexpr char MSG_HEADER = 'H';
constexpr char MSG_ORDER = 'O';
constexpr char MSG_PIXELS = 'P';
constexpr char MSG_SLICE = 'S';
constexpr char MSG_COUNTS = 'C';
constexpr char MSG_WARNING = 'W';
constexpr char MSG_ERROR = 'E';
constexpr char MSG_DONE = 'D';

// Growth of a reading child's heap: this much, plus this many times the largest file's bytes.
constexpr std::uint64_t CHILD_BASE_MEMORY = std::uint64_t(1) << 30;
constexpr std::uint64_t CHILD_MEMORY_PER_FILE_BYTE = 8;

// Decoding processes at most, however many processors there are.
constexpr std::size_t MAX_DECODERS = 8;

// Damaged files skipped in one folder before the load is given up.
constexpr std::size_t MAX_SKIPPED_FILES = 16;

struct CSeriesHeader
{
    std::int64_t xSize = 0;
    std::int64_t ySize = 0;
    std::int64_t zSize = 0;
    double dx = 1.0;
    double dy = 1.0;
    double dz = 1.0;
    CPatientGeometry geometry;
};

// Sizes and spacing as the volume will have them; checked on both sides of the pipe.
std::size_t checkHeader(const CSeriesHeader& header, const std::string& source)
{
    const std::size_t voxelCount = CVolumeLimits::checkedVoxelCount(header.xSize, header.ySize, header.zSize, source);
    CVolumeLimits::checkSpacing(header.dx, header.dy, header.dz, source);
    if (!header.geometry.isFinite())
        throw CImportError(source + " gives an image position or orientation that is not a number");
    return voxelCount;
}

bool isJpeg2000(const gdcm::TransferSyntax& syntax)
{
    switch (syntax) {
    case gdcm::TransferSyntax::JPEG2000Lossless:
    case gdcm::TransferSyntax::JPEG2000:
    case gdcm::TransferSyntax::JPEG2000Part2Lossless:
    case gdcm::TransferSyntax::JPEG2000Part2:
        return true;
    default:
        return false;
    }
}

std::uint32_t bigEndian(const unsigned char* bytes, int count)
{
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

} // namespace

std::optional<CJpeg2000Size> readJpeg2000Size(const unsigned char* data, std::size_t length)
{
    std::size_t at = 0;
    // A JP2 file wraps the codestream in boxes: find the contiguous codestream box.
    static const unsigned char SIGNATURE[] = {0, 0, 0, 12, 'j', 'P', ' ', ' '};
    if (length >= sizeof SIGNATURE && std::memcmp(data, SIGNATURE, sizeof SIGNATURE) == 0) {
        for (;;) {
            if (length - at < 8)
                return std::nullopt;
            std::uint64_t boxLength = bigEndian(data + at, 4);
            std::size_t headerLength = 8;
            if (boxLength == 1) {
                if (length - at < 16)
                    return std::nullopt;
                boxLength = (std::uint64_t(bigEndian(data + at + 8, 4)) << 32) | bigEndian(data + at + 12, 4);
                headerLength = 16;
            }
            if (std::memcmp(data + at + 4, "jp2c", 4) == 0) {
                at += headerLength;
                break;
            }
            if (boxLength < headerLength || boxLength > length - at)
                return std::nullopt;
            at += static_cast<std::size_t>(boxLength);
        }
    }
    // SOC, then SIZ: Lsiz, Rsiz, Xsiz, Ysiz, XOsiz, YOsiz, XTsiz, YTsiz, XTOsiz, YTOsiz, Csiz,
    // and per component Ssiz, XRsiz, YRsiz.
    const unsigned char* code = data + at;
    const std::size_t left = length - at;
    if (left < 42 || code[0] != 0xFF || code[1] != 0x4F || code[2] != 0xFF || code[3] != 0x51)
        return std::nullopt;
    const std::uint32_t xSize = bigEndian(code + 8, 4), ySize = bigEndian(code + 12, 4);
    const std::uint32_t xOffset = bigEndian(code + 16, 4), yOffset = bigEndian(code + 20, 4);
    if (xOffset >= xSize || yOffset >= ySize)
        return std::nullopt;
    CJpeg2000Size size;
    size.columns = xSize - xOffset;
    size.rows = ySize - yOffset;
    size.components = bigEndian(code + 40, 2);
    if (size.components < 1 || left < 42 + 3 * std::size_t(size.components))
        return std::nullopt;
    size.bits = 0;
    for (unsigned c = 0; c < size.components; ++c)
        size.bits = std::max(size.bits, (code[42 + 3 * c] & 0x7Fu) + 1u);
    return size;
}

namespace {

// The decoder writes the codestream's own image into a buffer sized by Rows and Columns:
// the two must agree before anything is decoded.
void checkJpeg2000Size(const gdcm::Image& image, const CSlice& slice)
{
    const gdcm::SequenceOfFragments* fragments = image.GetDataElement().GetSequenceOfFragments();
    const gdcm::ByteValue* first
        = fragments != nullptr && fragments->GetNumberOfFragments() > 0 ? fragments->GetFragment(0).GetByteValue() : nullptr;
    const std::optional<CJpeg2000Size> size
        = first != nullptr ? readJpeg2000Size(reinterpret_cast<const unsigned char*>(first->GetPointer()), first->GetLength())
                           : std::nullopt;
    if (!size)
        throw CImportError("DICOM file " + slice.file + " has JPEG 2000 pixel data without a readable image header");
    if (size->columns != slice.columns || size->rows != slice.rows || size->components != 1
        || size->bits > image.GetPixelFormat().GetBitsAllocated())
        throw CImportError("DICOM file " + slice.file + " holds a JPEG 2000 image of " + sizeText(size->columns, size->rows)
                           + " pixels, " + std::to_string(size->components) + " component(s) of "
                           + std::to_string(size->bits) + " bits, which does not match its header ("
                           + sizeText(slice.columns, slice.rows) + ", " + std::to_string(image.GetPixelFormat().GetBitsAllocated())
                           + " bits allocated)");
}

// The library makes room for the image that Rows and Columns claim before it looks at the
// data; a file of uncompressed pixels must be long enough to hold them first.
void checkUncompressedLength(const CSlice& slice)
{
    std::string uid = slice.transferSyntax;
    while (!uid.empty() && (uid.back() == '\0' || uid.back() == ' '))
        uid.pop_back();
    const gdcm::TransferSyntax syntax = gdcm::TransferSyntax::GetTSType(uid.c_str());
    if (syntax == gdcm::TransferSyntax::TS_END || syntax.IsEncapsulated())
        return;
    const std::vector<double> bits = parseNumbers(slice.bitsAllocated.c_str());
    if (bits.empty() || bits.front() < 1.0 || bits.front() > 64.0)
        return; // the decoder's own checks report it
    std::error_code error;
    const std::uintmax_t fileSize = std::filesystem::file_size(slice.file, error);
    const double needed = static_cast<double>(slice.rows) * static_cast<double>(slice.columns) * bits.front() / 8.0;
    if (!error && static_cast<double>(fileSize) < needed)
        throw CImportError("DICOM file " + slice.file + " has less pixel data than its image size needs ("
                           + sizeText(slice.columns, slice.rows) + " pixels of " + std::to_string(int(bits.front()))
                           + " bits, " + std::to_string(fileSize) + " bytes in the file)");
}

// Converts `pixelCount` stored words at `bytes` into densities at `target`.
void convertPixels(const char* bytes, std::size_t pixelCount, const CPixelLayout& layout, std::int16_t* target,
                   CDensityRounder& rounder)
{
    const std::size_t bytesPerPixel = layout.bytesPerPixel;
    const bool isSigned = layout.isSigned != 0;
    const bool maskBits = layout.maskedBits > 0;
    const std::int64_t mask = maskBits ? (std::int64_t(1) << layout.maskedBits) - 1 : 0;
    const std::int64_t signBit = maskBits ? std::int64_t(1) << (layout.maskedBits - 1) : 0;

    const double slope = layout.slope;
    const double intercept = layout.intercept;
    const bool identity = slope == 1.0 && intercept == std::round(intercept) && std::fabs(intercept) < 1e9;
    const auto integerIntercept = static_cast<std::int64_t>(identity ? intercept : 0.0);

    if (identity) {
        auto exact = [&](auto type) {
            using Stored = decltype(type);
            rounder.fromIntegers<Stored>(bytes, pixelCount, integerIntercept, layout.maskedBits, target);
        };
        switch (bytesPerPixel) {
        case 1: isSigned ? exact(std::int8_t{}) : exact(std::uint8_t{}); break;
        case 2: isSigned ? exact(std::int16_t{}) : exact(std::uint16_t{}); break;
        default: isSigned ? exact(std::int32_t{}) : exact(std::uint32_t{}); break;
        }
        return;
    }

    for (std::size_t i = 0; i < pixelCount; ++i) {
        std::int64_t raw = 0;
        const char* word = bytes + i * bytesPerPixel;
        switch (bytesPerPixel) {
        case 1: {
            std::uint8_t v;
            std::memcpy(&v, word, 1);
            raw = isSigned ? std::int64_t(static_cast<std::int8_t>(v)) : std::int64_t(v);
            break;
        }
        case 2: {
            std::uint16_t v;
            std::memcpy(&v, word, 2);
            raw = isSigned ? std::int64_t(static_cast<std::int16_t>(v)) : std::int64_t(v);
            break;
        }
        default: {
            std::uint32_t v;
            std::memcpy(&v, word, 4);
            raw = isSigned ? std::int64_t(static_cast<std::int32_t>(v)) : std::int64_t(v);
            break;
        }
        }
        if (maskBits) {
            raw &= mask;
            if (isSigned && (raw & signBit))
                raw -= mask + 1;
        }
        target[i] = rounder.fromReal(static_cast<double>(raw) * slope + intercept);
    }
}

// Decodes one slice into `densities` (columns * rows of them), applying its rescale.
// `densities` and `buffer` (the decoded bytes) are sized here, once the file has shown
// that it holds the pixels; the caller keeps them from one slice to the next.
void readSlice(const CSlice& slice, std::size_t pixelCount, std::vector<std::int16_t>& densities,
               std::vector<char>& buffer, CDensityRounder& rounder)
{
    checkUncompressedLength(slice);
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
    const unsigned bitsAllocated = format.GetBitsAllocated();
    if (bitsAllocated != 8 && bitsAllocated != 16 && bitsAllocated != 32)
        throw CImportError("DICOM file " + slice.file + " has Bits Allocated " + std::to_string(bitsAllocated)
                           + ", which is not supported (8, 16 or 32)");
    if (isJpeg2000(image.GetTransferSyntax()))
        checkJpeg2000Size(image, slice);
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

    buffer.resize(length);
    if (!image.GetBuffer(buffer.data()))
        throw CImportError("DICOM file " + slice.file + " cannot be decoded");
    densities.resize(pixelCount);
    std::int16_t* target = densities.data();

    CPixelLayout layout;
    layout.bytesPerPixel = static_cast<std::uint32_t>(bytesPerPixel);
    layout.isSigned = format.GetPixelRepresentation() == 1;
    // Bits above Bits Stored may hold overlays or garbage; keep the stored bits only and
    // extend the sign from there (a no-op if the decoder already did).
    layout.maskedBits = bitsStored < bytesPerPixel * 8 && format.GetHighBit() + 1u == bitsStored ? bitsStored : 0;
    layout.slope = image.GetSlope();
    layout.intercept = image.GetIntercept();
    convertPixels(buffer.data(), pixelCount, layout, target, rounder);
}

// Position of the first slice's first pixel and the directions of its rows, columns and of
// the slice order; origin 0 and the identity where the files do not say.
CPatientGeometry patientGeometry(const std::vector<CSlice>& slices)
{
    CPatientGeometry geometry;
    const CSlice& first = slices.front();
    if (first.position)
        geometry.origin = {(*first.position)[0], (*first.position)[1], (*first.position)[2]};
    if (!first.orientation)
        return geometry;
    const std::vector<double>& o = *first.orientation;
    auto unit = [](std::array<double, 3> v) {
        const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        return length > 0.0 ? std::array<double, 3>{v[0] / length, v[1] / length, v[2] / length} : v;
    };
    const std::array<double, 3> row = unit({o[0], o[1], o[2]});
    const std::array<double, 3> column = unit({o[3], o[4], o[5]});
    if (std::fabs(row[0] * column[0] + row[1] * column[1] + row[2] * column[2]) > 1e-3
        || std::fabs(row[0] * row[0] + row[1] * row[1] + row[2] * row[2] - 1.0) > 1e-6
        || std::fabs(column[0] * column[0] + column[1] * column[1] + column[2] * column[2] - 1.0) > 1e-6)
        return geometry; // no usable orientation: the axes stay as they are
    // The slices are sorted along the normal where they have positions (and follow it by
    // DICOM's convention where they do not).
    const std::array<double, 3> normal
        = unit({row[1] * column[2] - row[2] * column[1], row[2] * column[0] - row[0] * column[2],
                row[0] * column[1] - row[1] * column[0]});
    geometry.axes = {row, column, normal};
    return geometry;
}

// Where the pixels of an uncompressed little-endian slice of `columns` x `rows` pixels (-1:
// whatever its header says) lie and how they convert, as the library would decode them;
// nothing for a slice that is compressed, of a layout the decoders must judge (they give
// the library's verdict on it), or whose file does not hold every pixel. Reads the header
// only; runs in the scanning child.
std::optional<CStoredPixels> locatePixels(const std::string& path, long long columns, long long rows)
{
    gdcm::Reader reader;
    reader.SetFileName(path.c_str());
    // Skipping the pixel data leaves the stream at their first byte.
    if (!reader.ReadUpToTag(TAG_PIXEL_DATA, {TAG_PIXEL_DATA}))
        return std::nullopt;
    const gdcm::File& file = reader.GetFile();
    const gdcm::TransferSyntax syntax = file.GetHeader().GetDataSetTransferSyntax();
    const bool implicit = syntax == gdcm::TransferSyntax::ImplicitVRLittleEndian;
    if (!implicit && syntax != gdcm::TransferSyntax::ExplicitVRLittleEndian)
        return std::nullopt;
    const std::vector<unsigned int> dimensions = gdcm::ImageHelper::GetDimensionsValue(file);
    if (dimensions.size() < 2 || (columns >= 0 && dimensions[0] != static_cast<unsigned long long>(columns))
        || (rows >= 0 && dimensions[1] != static_cast<unsigned long long>(rows)) || (dimensions.size() > 2 && dimensions[2] > 1))
        return std::nullopt;
    const std::size_t pixelCount = std::size_t(dimensions[0]) * std::size_t(dimensions[1]);
    const gdcm::PixelFormat format = gdcm::ImageHelper::GetPixelFormatValue(file);
    const unsigned bits = format.GetBitsAllocated();
    const unsigned stored = format.GetBitsStored();
    // The layouts the library copies as they are stored; it refuses fewer stored than
    // allocated bits in 8- and 32-bit words, so those go to the decoders to be refused.
    if (format.GetSamplesPerPixel() != 1 || (bits != 8 && bits != 16 && bits != 32) || stored == 0 || stored > bits
        || format.GetHighBit() + 1u != stored || (stored < bits && bits != 16) || format.GetPixelRepresentation() > 1
        || format.GetScalarType() == gdcm::PixelFormat::FLOAT32 || format.GetScalarType() == gdcm::PixelFormat::FLOAT64)
        return std::nullopt;
    const std::vector<double> rescale = gdcm::ImageHelper::GetRescaleInterceptSlopeValue(file);
    if (rescale.size() != 2)
        return std::nullopt;

    // The element in front of the pixels: tag (7FE0,0010), for explicit VR "OB" or "OW" and
    // two zero bytes, then a defined length that covers the image.
    const std::size_t at = reader.GetStreamCurrentPosition();
    const std::size_t headerLength = implicit ? 8 : 12;
    if (at < headerLength)
        return std::nullopt;
    unsigned char header[12];
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    const ssize_t got = ::pread(fd, header, headerLength, static_cast<off_t>(at - headerLength));
    struct stat status = {};
    const bool measured = ::fstat(fd, &status) == 0;
    ::close(fd);
    if (got != static_cast<ssize_t>(headerLength) || !measured)
        return std::nullopt;
    static const unsigned char TAG[4] = {0xE0, 0x7F, 0x10, 0x00};
    if (std::memcmp(header, TAG, 4) != 0)
        return std::nullopt;
    if (!implicit
        && (!(header[4] == 'O' && (header[5] == 'B' || header[5] == 'W')) || header[6] != 0 || header[7] != 0))
        return std::nullopt;
    const unsigned char* length = header + headerLength - 4;
    const std::uint32_t valueLength
        = std::uint32_t(length[0]) | std::uint32_t(length[1]) << 8 | std::uint32_t(length[2]) << 16 | std::uint32_t(length[3]) << 24;
    const std::uint64_t needed = std::uint64_t(pixelCount) * (bits / 8);
    if (valueLength == 0xFFFFFFFFu || valueLength < needed || static_cast<std::uint64_t>(status.st_size) < at + needed)
        return std::nullopt;

    CStoredPixels pixels;
    pixels.offset = at;
    pixels.layout.bytesPerPixel = bits / 8;
    pixels.layout.isSigned = format.GetPixelRepresentation();
    pixels.layout.maskedBits = stored < bits ? stored : 0;
    pixels.layout.intercept = rescale[0];
    pixels.layout.slope = rescale[1];
    if (!pixels.layout.isValid())
        return std::nullopt;
    return pixels;
}

// Reads the headers of the files, picks and orders the series and reports its size and slice
// order; runs in a child process.
void scanInChild(const std::string& folder, const std::vector<std::string>& files, CIsolatedWork::CChannel& channel)
{
    // Series Instance UID -> its images, in file name order.
    std::map<std::string, std::vector<CSlice>> series;
    for (const std::string& file : files) {
        // One scan a file, announced first, so that a file on which the library stops is
        // known by name.
        channel.message(MSG_SCANNING, file);
        gdcm::Scanner scanner;
        for (const gdcm::Tag& tag : {TAG_SERIES_UID, TAG_INSTANCE_NUMBER, TAG_POSITION, TAG_ORIENTATION,
                                     TAG_SLICE_THICKNESS, TAG_SLICE_SPACING, TAG_FRAMES, TAG_ROWS, TAG_COLUMNS,
                                     TAG_PIXEL_SPACING, TAG_TRANSFER_SYNTAX, TAG_BITS_ALLOCATED})
            scanner.AddTag(tag);
        scanner.Scan({file});
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
        auto keep = [&](const gdcm::Tag& tag) {
            const char* value = scanner.GetValue(file.c_str(), tag);
            return std::string(value ? value : "");
        };
        slice.sliceSpacing = keep(TAG_SLICE_SPACING);
        slice.sliceThickness = keep(TAG_SLICE_THICKNESS);
        slice.pixelSpacing = keep(TAG_PIXEL_SPACING);
        slice.transferSyntax = keep(TAG_TRANSFER_SYNTAX);
        slice.bitsAllocated = keep(TAG_BITS_ALLOCATED);
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
        auto fallback = parseNumber(slices.front().sliceSpacing.c_str());
        if (!fallback || *fallback <= 0.0)
            fallback = parseNumber(slices.front().sliceThickness.c_str());
        if (fallback && *fallback > 0.0) {
            volume.dz = *fallback;
        } else {
            volume.dz = 1.0;
            if (slices.size() > 1)
                volume.warnings.push_back(source + " gives no slice spacing; 1 mm was assumed");
        }
    }
    const std::vector<double> pixelSpacing = parseNumbers(slices.front().pixelSpacing.c_str());
    if (pixelSpacing.size() == 2 && pixelSpacing[0] > 0.0 && pixelSpacing[1] > 0.0) {
        volume.dy = pixelSpacing[0];
        volume.dx = pixelSpacing[1];
    } else {
        volume.dx = volume.dy = 1.0;
        volume.warnings.push_back(source + " gives no valid Pixel Spacing; 1 mm was assumed");
    }

    CSeriesHeader header;
    header.xSize = slices.front().columns;
    header.ySize = slices.front().rows;
    header.zSize = static_cast<std::int64_t>(slices.size());
    header.dx = volume.dx;
    header.dy = volume.dy;
    header.dz = volume.dz;
    header.geometry = patientGeometry(slices);
    checkHeader(header, source);
    channel.message(MSG_HEADER, &header, sizeof header);
    // The slices in volume order, for the decoding processes: the file's place in `files`,
    // then what the length check needs.
    // Where the pixels of uncompressed slices lie follows each, until a slice needs decoding:
    // then the whole series is decoded.
    std::map<std::string, std::uint32_t> places;
    for (std::size_t i = 0; i < files.size(); ++i)
        places.emplace(files[i], static_cast<std::uint32_t>(i));
    bool locating = true;
    for (const CSlice& slice : slices) {
        const std::uint32_t place = places.at(slice.file);
        std::string entry(reinterpret_cast<const char*>(&place), sizeof place);
        entry += slice.transferSyntax.c_str();
        entry += '\0';
        entry += slice.bitsAllocated.c_str();
        channel.message(MSG_ORDER, entry);
        if (!locating)
            continue;
        // The library reads the header again: a file it stops on is known by name.
        channel.message(MSG_SCANNING, slice.file);
        const std::optional<CStoredPixels> pixels = locatePixels(slice.file, slice.columns, slice.rows);
        if (pixels)
            channel.message(MSG_PIXELS, &*pixels, sizeof *pixels);
        locating = pixels.has_value();
    }
    for (const std::string& warning : volume.warnings)
        channel.message(MSG_WARNING, warning);
    channel.message(MSG_DONE, nullptr, 0);
}

// Decodes every `step`-th slice of `slices` from `first` on and sends its densities; runs in
// a child process. Announces each slice by its number before it hands the file to the
// library and ends with the counts of clamped and not-a-number values.
void decodeInChild(const std::vector<CSlice>& slices, std::size_t first, std::size_t step, std::size_t pixelCount,
                   CIsolatedWork::CChannel& channel)
{
    std::vector<char> buffer;
    std::vector<std::int16_t> densities;
    CDensityRounder rounder;
    for (std::size_t i = first; i < slices.size(); i += step) {
        const std::uint64_t number = i;
        channel.message(MSG_DECODING, &number, sizeof number);
        readSlice(slices[i], pixelCount, densities, buffer, rounder);
        channel.message(MSG_SLICE, densities.data(), pixelCount * sizeof(std::int16_t));
    }
    const std::uint64_t counts[2] = {rounder.clampedCount(), rounder.notANumberCount()};
    channel.message(MSG_COUNTS, counts, sizeof counts);
    channel.message(MSG_DONE, nullptr, 0);
}

// Readers of uncompressed slices in the host at most, however many processors there are.
constexpr std::size_t MAX_READERS = 4;

// Reads the pixels of slices [first, end), all located by the scanning child, into their
// places in `voxels`; the message of the first failure, if any, and its slice.
struct CReadFailure
{
    std::size_t slice = 0;
    std::string message;
};

std::optional<CReadFailure> readStoredSlices(const std::vector<CSlice>& slices, std::size_t first, std::size_t end,
                                             std::size_t pixelCount, std::int16_t* voxels, CDensityRounder& rounder)
{
    std::vector<char> bytes;
    for (std::size_t i = first; i < end; ++i) {
        const CSlice& slice = slices[i];
        const CStoredPixels& stored = *slice.stored;
        bytes.resize(pixelCount * stored.layout.bytesPerPixel);
        const int fd = ::open(slice.file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return CReadFailure{i, "DICOM file " + slice.file + " cannot be opened: " + std::strerror(errno)};
        std::size_t done = 0;
        int error = 0;
        while (done < bytes.size()) {
            const ssize_t got = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(stored.offset + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                error = got < 0 ? errno : 0;
                break;
            }
            done += static_cast<std::size_t>(got);
        }
        ::close(fd);
        if (done < bytes.size())
            return CReadFailure{i, "DICOM file " + slice.file
                                       + (error ? " cannot be read: " + std::string(std::strerror(error))
                                                : std::string(" has lost pixel data while it was loaded: it now ends before them"))};
        convertPixels(bytes.data(), pixelCount, stored.layout, voxels + i * pixelCount, rounder);
    }
    return std::nullopt;
}

// Reads every slice's pixels in the host, on several threads, each taking a block of
// neighbouring slices.
void readStoredVolume(const std::vector<CSlice>& slices, CLoadedVolume& volume, CDensityRounder& rounder)
{
    const std::size_t pixelCount = std::size_t(volume.xSize) * std::size_t(volume.ySize);
    const std::size_t voxelCount = pixelCount * slices.size();
    // The files hold every pixel: the volume's pages are all about to be written.
    volume.voxels.reserve(voxelCount);
    kvo::sys::mapPages(volume.voxels.data(), voxelCount * sizeof(std::int16_t), kvo::sys::CPageUse::WRITE);
    volume.voxels.resize(voxelCount);
    const std::size_t threads = kvo::sys::shareCount(MAX_READERS, slices.size());
    std::vector<CDensityRounder> rounders(threads);
    std::vector<std::optional<CReadFailure>> failures(threads);
    std::vector<std::exception_ptr> exceptions(threads);
    kvo::sys::runShares(threads, [&](std::size_t k) {
        try {
            failures[k] = readStoredSlices(slices, slices.size() * k / threads, slices.size() * (k + 1) / threads,
                                           pixelCount, volume.voxels.data(), rounders[k]);
        } catch (...) {
            exceptions[k] = std::current_exception();
        }
    });
    // Blocks are in slice order: the first failure is that of the lowest slice.
    for (std::size_t k = 0; k < threads; ++k) {
        if (exceptions[k])
            std::rethrow_exception(exceptions[k]);
        if (failures[k])
            throw CImportError(failures[k]->message);
    }
    for (const CDensityRounder& counted : rounders)
        rounder.addCounts(counted.clampedCount(), counted.notANumberCount());
}

} // namespace

std::optional<std::uint64_t> locateUncompressedPixels(const std::string& file)
{
    const std::optional<CStoredPixels> pixels = locatePixels(file, -1, -1);
    return pixels ? std::optional<std::uint64_t>(pixels->offset) : std::nullopt;
}

CDicomSeriesReader::CDicomSeriesReader(int decoders, bool readUncompressed)
    : m_decoders(decoders), m_readUncompressed(readUncompressed)
{
}

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

    const std::string source = "The DICOM series in " + folder;
    // What the library may take for one file: room for any real slice, not for whatever a
    // damaged length field claims.
    std::uintmax_t largestFile = 0;
    for (const std::string& file : files) {
        std::error_code sizeError;
        const std::uintmax_t size = std::filesystem::file_size(file, sizeError);
        if (!sizeError)
            largestFile = std::max(largestFile, std::min<std::uintmax_t>(size, std::uintmax_t(1) << 40));
    }
    const std::uint64_t childMemory
        = std::min<std::uint64_t>(kvo::sys::getMemoryLimit(), CHILD_BASE_MEMORY + CHILD_MEMORY_PER_FILE_BYTE * largestFile);
    // Files on which the library stopped while their header was read: not images we can
    // use, like any other file that is not DICOM, but named in a warning.
    std::set<std::string> skipped;
    std::vector<std::string> skipWarnings;
    auto broken = [&] { return CImportError(source + " could not be read (broken report from the reading process)"); };
    CLoadedVolume volume;
    std::vector<CSlice> slices;
    for (;;) {
        std::vector<std::string> readable;
        for (const std::string& file : files)
            if (skipped.count(file) == 0)
                readable.push_back(file);
        CIsolatedWork child([&](CIsolatedWork::CChannel& channel) { scanInChild(folder, readable, channel); },
                            CIsolatedWork::SILENCE_LIMIT_MS, childMemory);

        volume = CLoadedVolume();
        slices.clear();
        std::string lastFile;
        bool done = false;
        char type = 0;
        std::uint64_t size = 0;
        while (!done && child.next(type, size)) {
            switch (type) {
            case MSG_SCANNING:
                lastFile = child.readText(size);
                break;
            case MSG_WARNING:
                volume.warnings.push_back(child.readText(size));
                break;
            case MSG_ERROR:
                throw CImportError(child.readText(size));
            case MSG_HEADER: {
                CSeriesHeader header;
                if (size != sizeof header || !child.read(&header, sizeof header))
                    throw broken();
                checkHeader(header, source);
                volume.xSize = static_cast<int>(header.xSize);
                volume.ySize = static_cast<int>(header.ySize);
                volume.zSize = static_cast<int>(header.zSize);
                volume.dx = header.dx;
                volume.dy = header.dy;
                volume.dz = header.dz;
                volume.geometry = header.geometry;
                break;
            }
            case MSG_ORDER: {
                std::uint32_t place = 0;
                if (volume.zSize == 0 || slices.size() >= static_cast<std::size_t>(volume.zSize) || size < sizeof place
                    || !child.read(&place, sizeof place) || place >= readable.size())
                    throw broken();
                const std::string rest = child.readText(size - sizeof place);
                const std::size_t split = rest.find('\0');
                if (split == std::string::npos)
                    throw broken();
                CSlice slice;
                slice.file = readable[place];
                slice.rows = volume.ySize;
                slice.columns = volume.xSize;
                slice.transferSyntax = rest.substr(0, split);
                slice.bitsAllocated = rest.substr(split + 1);
                slices.push_back(std::move(slice));
                break;
            }
            case MSG_PIXELS: {
                CStoredPixels pixels;
                if (slices.empty() || slices.back().stored || size != sizeof pixels || !child.read(&pixels, sizeof pixels)
                    || !pixels.layout.isValid())
                    throw broken();
                slices.back().stored = pixels;
                break;
            }
            case MSG_DONE:
                done = true;
                break;
            default:
                throw broken();
            }
        }
        const std::string ending = child.finish();
        if (done && ending.empty() && volume.zSize > 0 && slices.size() == static_cast<std::size_t>(volume.zSize))
            break;
        if (done && ending.empty())
            throw broken();
        if (!lastFile.empty() && skipped.size() < MAX_SKIPPED_FILES) {
            skipped.insert(lastFile);
            skipWarnings.push_back("DICOM file " + lastFile + " was skipped: the DICOM library could not read its header ("
                                   + ending + "); the file is damaged or not DICOM");
            continue;
        }
        throw CImportError("The DICOM files in " + folder + " could not be read: the reading process stopped ("
                           + (ending.empty() ? std::string("without a result") : ending) + ")");
    }
    volume.warnings.insert(volume.warnings.begin(), skipWarnings.begin(), skipWarnings.end());

    if (m_readUncompressed && std::all_of(slices.begin(), slices.end(), [](const CSlice& slice) { return slice.stored.has_value(); })) {
        CDensityRounder rounder;
        readStoredVolume(slices, volume, rounder);
        rounder.addWarnings(source, volume.warnings);
        return volume;
    }

    // The slices are decoded by several processes at once, slice i by process i % workers;
    // reading the slices in order takes them from each process in turn, so that the others
    // decode their next ones meanwhile.
    const std::size_t pixelCount = std::size_t(volume.xSize) * std::size_t(volume.ySize);
    const std::size_t voxelCount = pixelCount * slices.size();
    const std::size_t workers = m_decoders > 0 ? std::clamp<std::size_t>(std::size_t(m_decoders), 1, slices.size())
                                               : kvo::sys::shareCount(MAX_DECODERS, slices.size());
    std::vector<std::unique_ptr<CIsolatedWork>> decoders;
    for (std::size_t k = 0; k < workers; ++k)
        decoders.push_back(std::make_unique<CIsolatedWork>(
            [&, k](CIsolatedWork::CChannel& channel) { decodeInChild(slices, k, workers, pixelCount, channel); },
            CIsolatedWork::SILENCE_LIMIT_MS, childMemory));

    // Address space only: memory is taken as the slices arrive, so a header that claims a
    // huge image costs nothing until its pixels exist.
    volume.voxels.reserve(voxelCount);
    // A decoding process that stopped: the slice it had announced names the file.
    auto stopped = [&](CIsolatedWork& decoder, std::optional<std::size_t> current) {
        const std::string ending = decoder.finish();
        if (current)
            return CImportError("DICOM file " + slices[*current].file + " cannot be decoded: the DICOM library stopped on it ("
                                + ending + "); the file is damaged or not supported");
        return CImportError("The DICOM files in " + folder + " could not be read: the reading process stopped ("
                            + (ending.empty() ? std::string("without a result") : ending) + ")");
    };
    char type = 0;
    std::uint64_t size = 0;
    for (std::size_t i = 0; i < slices.size(); ++i) {
        CIsolatedWork& decoder = *decoders[i % workers];
        // Until it announces slice i, the process is between slices.
        if (!decoder.next(type, size))
            throw stopped(decoder, std::nullopt);
        if (type == MSG_ERROR)
            throw CImportError(decoder.readText(size));
        std::uint64_t number = 0;
        if (type != MSG_DECODING || size != sizeof number || !decoder.read(&number, sizeof number) || number != i)
            throw broken();
        if (!decoder.next(type, size))
            throw stopped(decoder, i);
        if (type == MSG_ERROR)
            throw CImportError(decoder.readText(size));
        if (type != MSG_SLICE || size != pixelCount * sizeof(std::int16_t))
            throw broken();
        volume.voxels.resize(volume.voxels.size() + pixelCount);
        if (!decoder.read(volume.voxels.data() + i * pixelCount, static_cast<std::size_t>(size)))
            throw stopped(decoder, i);
    }
    CDensityRounder rounder;
    for (std::unique_ptr<CIsolatedWork>& decoder : decoders) {
        bool done = false;
        while (!done && decoder->next(type, size)) {
            if (type == MSG_ERROR)
                throw CImportError(decoder->readText(size));
            std::uint64_t counts[2] = {0, 0};
            if (type == MSG_COUNTS && size == sizeof counts && decoder->read(counts, sizeof counts))
                rounder.addCounts(counts[0], counts[1]);
            else if (type == MSG_DONE && size == 0)
                done = true;
            else
                throw broken();
        }
        if (!done)
            throw stopped(*decoder, std::nullopt);
        if (const std::string ending = decoder->finish(); !ending.empty())
            throw CImportError("The DICOM files in " + folder + " could not be read: the reading process stopped ("
                               + ending + ")");
    }
    rounder.addWarnings(source, volume.warnings);
    return volume;
}

} // namespace velmora::import
