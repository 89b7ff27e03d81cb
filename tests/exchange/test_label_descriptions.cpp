#include "CTempFolder.h"

#include "host/exchange/LabelDescriptionFile.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace velmora::exchange;
using velmora::import::test::CTempFolder;

namespace {

std::string writeText(const CTempFolder& folder, const std::string& text)
{
    const std::string path = folder.file("labels.txt");
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string readErrorOf(const std::string& path)
{
    try {
        readLabelDescriptions(path);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "no error";
}

bool operator==(const CLabelDescription& a, const CLabelDescription& b)
{
    return a.index == b.index && a.red == b.red && a.green == b.green && a.blue == b.blue && a.alpha == b.alpha
           && a.visible == b.visible && a.mesh == b.mesh && a.name == b.name;
}

} // namespace

TEST(LabelDescriptionFile, RoundTripKeepsEveryFieldOfEveryLabel)
{
    // Every alpha byte, colours and flags varying, names with spaces, quotes, backslashes
    // and tabs, in an order that is not the index order.
    const CTempFolder folder;
    std::vector<CLabelDescription> labels;
    const char* names[] = {"Clear Label", "left \"kidney\"", "C:\\scans\\", "a\ttab", "", "  spaces  ", "\"", "\\\""};
    for (int i = 0; i < 256; ++i) {
        CLabelDescription label;
        label.index = i == 0 ? 0 : 65535 - i * 97;
        label.red = static_cast<std::uint8_t>(i);
        label.green = static_cast<std::uint8_t>(255 - i);
        label.blue = static_cast<std::uint8_t>(i * 7);
        label.alpha = static_cast<std::uint8_t>(i);
        label.visible = i % 2 == 0;
        label.mesh = i % 3 != 0;
        label.name = names[i % 8] + (i < 8 ? std::string() : " " + std::to_string(i));
        labels.push_back(label);
    }
    const std::string path = folder.file("labels.txt");
    writeLabelDescriptions(path, labels);
    const std::vector<CLabelDescription> back = readLabelDescriptions(path);
    ASSERT_EQ(back.size(), labels.size());
    for (std::size_t i = 0; i < labels.size(); ++i)
        EXPECT_TRUE(back[i] == labels[i]) << i << ": " << back[i].name << " alpha " << int(back[i].alpha);

    std::ifstream in(path);
    std::string first, line;
    std::getline(in, first);
    EXPECT_EQ(first.front(), '#');
    while (std::getline(in, line) && line.front() == '#') {
    }
    EXPECT_EQ(line, "    0     0  255    0         0  1  0    \"Clear Label\"");

    // Line breaks in a name cannot be stored: they become spaces. Indices beyond 16 bits are refused.
    labels = {{1, 1, 2, 3, 255, true, true, "two\nlines\r"}};
    writeLabelDescriptions(path, labels);
    EXPECT_EQ(readLabelDescriptions(path).front().name, "two lines ");
    labels.front().index = 65536;
    EXPECT_THROW(writeLabelDescriptions(path, labels), std::runtime_error);
    EXPECT_EQ(readLabelDescriptions(path).front().index, 1);
}

TEST(LabelDescriptionFile, ReadsFilesOfOtherWritersAndRefusesBadLinesByNumber)
{
    const CTempFolder folder;
    // Tabs, runs of spaces, CRLF, a byte order mark, comments and blank lines; alpha as a
    // fraction, clamped beyond 0..1.
    const std::string path = writeText(folder, "\xEF\xBB\xBF# comment\r\n"
                                               "\t0 0 0 0 0 0 0 \"Clear Label\"\r\n"
                                               "\r\n"
                                               "   # indented comment\n"
                                               "  1\t255   0\t0  0.5 1 1   \"Label 1\"   \n"
                                               "2 0 0 255 1.7 0 1 \"x\"\n"
                                               "3 0 0 255 -0.2 1 0 \"\"\n"
                                               "4 9 8 7 +1e-1 1 1 \"e\"");
    const std::vector<CLabelDescription> labels = readLabelDescriptions(path);
    const std::vector<CLabelDescription> expected = {{0, 0, 0, 0, 0, false, false, "Clear Label"},
                                                     {1, 255, 0, 0, 128, true, true, "Label 1"},
                                                     {2, 0, 0, 255, 255, false, true, "x"},
                                                     {3, 0, 0, 255, 0, true, false, ""},
                                                     {4, 9, 8, 7, 26, true, true, "e"}};
    ASSERT_EQ(labels.size(), expected.size());
    for (std::size_t i = 0; i < labels.size(); ++i)
        EXPECT_TRUE(labels[i] == expected[i]) << i;

    const char* badLines[] = {
        "1 255 0 0 1 1 1",                  // no name
        "1 255 0 0 1 1 1 Label",            // name without quotes
        "1 255 0 0 1 1 1 \"Label",          // unterminated name
        "1 255 0 0 1 1 1 \"Label\\\"",      // its closing quote escaped
        "1 255 0 0 1 1 1 \"Label\" extra",  // something after the name
        "1 256 0 0 1 1 1 \"Label\"",        // colour beyond 255
        "1 255 0 -1 1 1 1 \"Label\"",       // negative colour
        "1 255 0 0 1 2 1 \"Label\"",        // visibility not 0 or 1
        "1 255 0 0 1 1 1.0 \"Label\"",      // mesh flag not a whole number
        "1 255 0 0 half 1 1 \"Label\"",     // alpha not a number
        "1 255 0 0 nan 1 1 \"Label\"",      // alpha not finite
        "-1 255 0 0 1 1 1 \"Label\"",       // negative index
        "65536 255 0 0 1 1 1 \"Label\"",    // index beyond 16 bits
        "1 255 0 0 1 1 \"Label\"",          // a field missing
        "1,255,0,0,1,1,1,\"Label\"",        // not separated by spaces
        "0 1 2 3 1 1 1 \"again\"",          // index 0 a second time
    };
    for (const char* bad : badLines) {
        const std::string error = readErrorOf(writeText(folder, "# labels\n0 0 0 0 0 0 0 \"Clear\"\n\n" + std::string(bad) + "\n"));
        EXPECT_NE(error.find("Line 4 of the label description file"), std::string::npos) << bad << ": " << error;
    }
    EXPECT_NE(readErrorOf(folder.file("missing.txt")).find("does not exist"), std::string::npos);
}

TEST(LabelDescriptionFile, DescriptionPathReplacesTheLabelMapExtension)
{
    const std::pair<const char*, const char*> cases[] = {
        {"a/b.nii.gz", "a/b.txt"}, {"a/b.nii", "a/b.txt"},        {"a/B.NII.GZ", "a/B.txt"},
        {"a/b.seg.nii", "a/b.seg.txt"}, {"a.d/b.mha", "a.d/b.txt"}, {"a.d/b", "a.d/b.txt"},
        {"b.gz", "b.txt"},
    };
    for (const auto& [map, description] : cases)
        EXPECT_EQ(descriptionPathFor(map), description) << map;
}
