#pragma once
// Reads one DICOM series from the files of a folder (not its subfolders) as a density
// volume, through GDCM, which also decodes compressed transfer syntaxes (JPEG 2000 etc.).
//
// - Files that are not DICOM, or DICOM without an image (no Rows / Columns), are skipped.
// - When the folder holds several series, the one with most images is loaded (a warning
//   says so; ties go to the lower Series Instance UID).
// - Slices are ordered by Image Position (Patient) projected on the slice normal (the
//   cross product of the Image Orientation row and column directions); the slice spacing
//   is the mean distance between neighbouring positions, never Slice Thickness. Uneven
//   spacing and duplicate positions (the later file is dropped) give warnings. Without
//   positions, slices follow Instance Number and the spacing comes from Spacing Between
//   Slices or Slice Thickness, with a warning.
// - x runs along the image rows (dx = second Pixel Spacing value), y down the columns
//   (dy = first value), z along the normal.
// - Each slice's Rescale Slope and Intercept are applied; the result is rounded and
//   clamped to 16 bits, and clamping is reported in a warning.
// - Sizes are checked before the volume is allocated, against the memory limit too; a
//   JPEG 2000 image's own size must equal Rows and Columns before it is decoded.
// - Every file is handed to GDCM in a child process: a file on which the library aborts
//   while its header is read is skipped with a warning; one that stops it while decoding
//   fails the load with an error naming the file. Either way the host goes on.
// - Headers are read by one child; the slices are then decoded by several children at once
//   (one per processor, at most 8), each taking a run of slices.
// - Uncompressed little-endian slices need no decoding: the header-reading child finds
//   where each file's pixels lie and checks that the file holds them, and the host reads
//   those bytes itself, on several threads, straight into the volume. The library never
//   sees the pixels in the host; they are bytes at a checked place, converted by the same
//   rules as decoded ones. A series with any other slice is decoded by the children.

#include "host/import/CLoadedVolume.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace velmora::import {

//! The image size a JPEG 2000 codestream (or a JP2 file) declares in its SIZ marker.
struct CJpeg2000Size
{
    long long columns = 0;
    long long rows = 0;
    unsigned components = 0;
    unsigned bits = 0; // largest precision of a component
};
//! Reads the size from the start of the data; nothing when there is no valid SIZ marker.
std::optional<CJpeg2000Size> readJpeg2000Size(const unsigned char* data, std::size_t length);

//! Where the reader takes the pixels of an uncompressed slice straight from `file`: the
//! offset of their first byte; nothing for a file whose pixels the decoding processes read
//! (compressed, big-endian, a layout the library must judge, too short). Reads the header
//! through the library in this process: for tests and tools.
std::optional<std::uint64_t> locateUncompressedPixels(const std::string& file);

class CDicomSeriesReader
{
public:
    //! `decoders`: the number of processes that decode the slices; 0 for one per processor.
    //! `readUncompressed`: whether uncompressed slices are read by the host itself (false
    //! has the children decode them too, as every other slice).
    explicit CDicomSeriesReader(int decoders = 0, bool readUncompressed = true);

    //! Reads the series in `folder`; throws CImportError when the folder is missing or holds
    //! no DICOM images, when slices differ in size or orientation, when an image is multi-
    //! frame, colour or of an unsupported pixel format, cannot be decoded, or is too large.
    CLoadedVolume read(const std::string& folder) const;

private:
    int m_decoders;
    bool m_readUncompressed;
};

} // namespace velmora::import
