#pragma once
// ITK-SNAP label description files: the name, colour, opacity and display flags of each
// label of a label map, one line per label:
//     IDX  -R-  -G-  -B-  -A--  VIS MSH  "LABEL"
//       1  255    0    0     1    1   1  "Label 1"
// IDX 0..65535; R, G, B 0..255; A the opacity 0..1 (byte / 255); VIS and MSH 0 or 1; the name
// in double quotes, with \" for a quote and \\ for a backslash inside it. Lines starting
// with '#' are comments, blank lines are skipped; fields are separated by any spaces or tabs.

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::exchange {

struct CLabelDescription
{
    int index = 0;
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 255;
    bool visible = true;
    bool mesh = true;
    std::string name;
};

//! Writes the descriptions in the given order after a comment block describing the columns;
//! line breaks in names become spaces. Written beside `path` and renamed over it when
//! complete. Throws std::runtime_error with a message for the user when an index is outside
//! 0..65535 or the file cannot be written.
void writeLabelDescriptions(const std::string& path, const std::vector<CLabelDescription>& labels);

//! Reads the descriptions in file order. Alpha is clamped to 0..1, then times 255 rounded.
//! Throws std::runtime_error naming the file and the line number of the first line that is
//! not a description (missing or malformed fields, values out of range, a repeated index,
//! an unterminated name), or when the file cannot be read.
std::vector<CLabelDescription> readLabelDescriptions(const std::string& path);

//! The description file that goes with a label map: "a/b.nii.gz" and "a/b.nii" give
//! "a/b.txt"; any other name has its extension replaced by ".txt".
std::string descriptionPathFor(const std::string& labelMapPath);

} // namespace velmora::exchange
