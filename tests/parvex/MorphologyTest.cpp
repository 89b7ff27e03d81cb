// Binary dilation and erosion: element shapes on tiny volumes voxel by voxel, faces and
// thin volumes, equality with the literal loops of both definitions on random volumes and
// elements (the panel's cubes and 18-neighbourhood, any other element), long windows,
// refusals, progress and cancel, in place and threaded runs.

#include "plugins/parvex/seg/CBinaryDilation.h"
#include "plugins/parvex/seg/CBinaryErosion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using tLabels = seg::CBinaryMorphology::tLabelVolume;
using tElement = seg::CBinaryMorphology::tElement;

constexpr std::uint16_t A = 3; // the active region
constexpr std::uint16_t B = 7;

struct CParameters
{
    int cx, cy, cz;
    bool value = true;
    int threads = 1;
    std::uint16_t object = A, write = A, background = 0;
};

CParameters centred(int r)
{
    return {r, r, r};
}

tElement panelElement(int r)
{
    return seg::CBinaryMorphology::makeStructuringElement(r);
}

bool inside(const tLabels& v, int x, int y, int z)
{
    return x >= 0 && x < v.getXSize() && y >= 0 && y < v.getYSize() && z >= 0 && z < v.getZSize();
}

// The literal definitions. Dilation: every element image of every object voxel that lies
// in the volume gets the write label. Erosion: an object voxel is kept when every element
// image lies in the volume and holds the object; other labels never change.
void literal(bool eroding, const tLabels& source, tLabels& destination, const tElement& element, const CParameters& p)
{
    for (int z = 0; z < source.getZSize(); ++z)
        for (int y = 0; y < source.getYSize(); ++y)
            for (int x = 0; x < source.getXSize(); ++x)
            {
                if (source.at(x, y, z) != p.object)
                    continue;
                bool kept = true;
                for (int ez = 0; ez < element.getZSize() && kept; ++ez)
                    for (int ey = 0; ey < element.getYSize() && kept; ++ey)
                        for (int ex = 0; ex < element.getXSize() && kept; ++ex)
                        {
                            const int ix = x - p.cx + ex, iy = y - p.cy + ey, iz = z - p.cz + ez;
                            if (element.at(ex, ey, ez) != p.value)
                                continue;
                            if (!eroding && inside(source, ix, iy, iz))
                                destination.at(ix, iy, iz) = p.write;
                            kept = !eroding || (inside(source, ix, iy, iz) && source.at(ix, iy, iz) == p.object);
                        }
                if (eroding)
                    destination.at(x, y, z) = kept ? p.write : p.background;
            }
}

// Either filter, set up from the parameters.
struct CFilter
{
    CFilter(bool erode, const tLabels* source, tLabels* destination, const tElement* element, const CParameters& p)
        : dilation(source, destination, element), erosion(source, destination, element), eroding(erode)
    {
        for (seg::CBinaryMorphology* filter : {static_cast<seg::CBinaryMorphology*>(&dilation),
                                               static_cast<seg::CBinaryMorphology*>(&erosion)})
        {
            filter->setObjectLabel(p.object);
            filter->setElementValue(p.value);
            filter->setWriteLabel(p.write);
            filter->setCentre(p.cx, p.cy, p.cz);
            filter->setThreadCount(p.threads);
        }
        erosion.setBackgroundLabel(p.background);
    }
    seg::CBinaryMorphology& base() { return eroding ? static_cast<seg::CBinaryMorphology&>(erosion) : dilation; }
    bool run() { return eroding ? erosion.run() : dilation.run(); }

    seg::CBinaryDilation dilation;
    seg::CBinaryErosion erosion;
    bool eroding;
};

bool morph(bool eroding, const tLabels& source, tLabels& destination, const tElement& element, const CParameters& p)
{
    return CFilter(eroding, &source, &destination, &element, p).run();
}

// Whole buffers, margins included.
std::size_t differences(const tLabels& a, const tLabels& b)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < a.getBufferSize(); ++i)
        count += a.getBlock()->getData()[i] != b.getBlock()->getData()[i];
    return count;
}

std::size_t countLabel(const tLabels& volume, std::uint16_t label)
{
    std::size_t count = 0;
    volume.forEach([&](std::uint16_t v) { count += v == label; });
    return count;
}

// Noise of `labels` labels with a share of object voxels, plus solid object boxes.
tLabels randomLabels(int x, int y, int z, int labels, double objectShare, int boxes, std::mt19937& random)
{
    tLabels volume(x, y, z, 1);
    std::uniform_int_distribution<int> label(0, labels - 1);
    std::bernoulli_distribution object(objectShare);
    for (std::size_t i = 0; i < volume.getBufferSize(); ++i) // margins too: never read as the object
        volume.getBlock()->getData()[i] = object(random) ? A : static_cast<std::uint16_t>(label(random));
    const int sizes[3] = {x, y, z};
    for (int box = 0; box < boxes; ++box)
    {
        int first[3], last[3];
        for (int axis = 0; axis < 3; ++axis)
        {
            first[axis] = std::uniform_int_distribution<int>(0, sizes[axis] - 1)(random);
            last[axis] = std::uniform_int_distribution<int>(first[axis], sizes[axis] - 1)(random);
        }
        for (int k = first[2]; k <= last[2]; ++k)
            for (int j = first[1]; j <= last[1]; ++j)
                for (int i = first[0]; i <= last[0]; ++i)
                    volume.at(i, j, k) = A;
    }
    return volume;
}

std::string describe(const tLabels& v, const tElement& e, const CParameters& p)
{
    std::ostringstream text;
    text << v.getXSize() << "x" << v.getYSize() << "x" << v.getZSize() << " element " << e.getXSize() << "x"
         << e.getYSize() << "x" << e.getZSize() << " centre " << p.cx << "," << p.cy << "," << p.cz << " value "
         << p.value << " threads " << p.threads;
    return text.str();
}

// The operations against the literal loops, into a destination one voxel larger along each
// axis whose extra voxels and margins must stay.
void expectLiteral(const tLabels& source, const tElement& element, const CParameters& p,
                   std::initializer_list<bool> operations = {false, true})
{
    for (bool eroding : operations)
    {
        tLabels expected(source.getXSize() + 1, source.getYSize() + 1, source.getZSize() + 1, 2);
        expected.fillEntire(B);
        expected.copyBlock(source);
        tLabels got(expected);
        literal(eroding, source, expected, element, p);
        ASSERT_TRUE(morph(eroding, source, got, element, p));
        EXPECT_EQ(differences(got, expected), 0u)
            << (eroding ? "erosion " : "dilation ") << describe(source, element, p);
    }
}

} // namespace

TEST(MorphologyTest, ElementsAndDilationOfSingleVoxels)
{
    // Sizes 0, 1, 2 and 20: the centre alone, the 18-neighbourhood, full cubes.
    for (auto [r, members] : {std::pair{0, 1}, {1, 19}, {2, 125}, {20, 41 * 41 * 41}})
    {
        const tElement element = panelElement(r);
        EXPECT_EQ(element.getXSize(), 2 * r + 1);
        EXPECT_EQ(element.getMargin(), 0);
        int count = 0;
        element.forEach([&](bool v) { count += v; });
        EXPECT_EQ(count, members) << "r " << r;
    }
    EXPECT_THROW(panelElement(-1), tElement::CBadSize);

    // One A voxel among B voxels: r = 1 covers the 3^3 cube without its corners, r = 2 the
    // full 5^3 cube, overwriting B; the rest keeps B.
    for (int r : {1, 2})
    {
        tLabels source(9, 9, 9);
        source.fill(B);
        source.at(4, 4, 4) = A;
        tLabels result(source);
        ASSERT_TRUE(morph(false, source, result, panelElement(r), centred(r)));
        for (int z = 0; z < 9; ++z)
            for (int y = 0; y < 9; ++y)
                for (int x = 0; x < 9; ++x)
                {
                    const int dx = std::abs(x - 4), dy = std::abs(y - 4), dz = std::abs(z - 4);
                    const bool covered = std::max({dx, dy, dz}) <= r && (r > 1 || dx + dy + dz < 3);
                    ASSERT_EQ(result.at(x, y, z), covered ? A : B) << r << ": " << x << " " << y << " " << z;
                }
    }

    // A voxel in a corner writes only the part of the element inside the volume.
    tLabels corner(6, 5, 4);
    corner.fill(0);
    corner.at(5, 4, 3) = A;
    tLabels result(corner);
    ASSERT_TRUE(morph(false, corner, result, panelElement(2), centred(2)));
    EXPECT_EQ(countLabel(result, A), 27u);
    EXPECT_EQ(result.at(3, 2, 1), A);
    EXPECT_EQ(result.at(2, 2, 1), 0);
}

TEST(MorphologyTest, ErosionShrinksTheObjectOnlyAndFacesErodeIt)
{
    // A 5^3 cube away from the faces leaves its 3^3 core (r = 1); a B voxel beside it and
    // the 0 around it stay.
    tLabels source(9, 9, 9);
    source.fill(0);
    for (int z = 2; z <= 6; ++z)
        for (int y = 2; y <= 6; ++y)
            for (int x = 2; x <= 6; ++x)
                source.at(x, y, z) = A;
    source.at(7, 4, 4) = B;
    tLabels result(source);
    ASSERT_TRUE(morph(true, source, result, panelElement(1), centred(1)));
    for (int z = 0; z < 9; ++z)
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 9; ++x)
            {
                const bool core = std::max({std::abs(x - 4), std::abs(y - 4), std::abs(z - 4)}) <= 1;
                ASSERT_EQ(result.at(x, y, z), core ? A : x == 7 && y == 4 && z == 4 ? B : 0) << x << y << z;
            }

    // A volume of A with a plane of B at z = 0: A within r of a face or of the B plane
    // becomes 0, B stays. Thin volumes (3 voxels across) keep a core only for r = 1.
    for (auto [X, Y, Z, r] : {std::tuple{8, 9, 10, 1}, {8, 9, 10, 2}, {3, 100, 100, 1}, {3, 100, 100, 2}})
    {
        tLabels full(X, Y, Z);
        full.fill(A);
        for (int y = 0; y < Y; ++y)
            for (int x = 0; x < X; ++x)
                full.at(x, y, 0) = B;
        tLabels eroded(full);
        ASSERT_TRUE(morph(true, full, eroded, panelElement(r), centred(r)));
        for (int z = 0; z < Z; ++z)
            for (int y = 0; y < Y; ++y)
                for (int x = 0; x < X; ++x)
                {
                    const bool kept = x >= r && x < X - r && y >= r && y < Y - r && z > r && z < Z - r;
                    ASSERT_EQ(eroded.at(x, y, z), z == 0 ? B : kept ? A : 0) << x << " " << y << " " << z;
                }
        EXPECT_EQ(countLabel(eroded, A), std::size_t(std::max(X - 2 * r, 0)) * (Y - 2 * r) * (Z - 2 * r - 1));
    }
}

TEST(MorphologyTest, PanelElementsEqualTheLiteralLoops)
{
    std::mt19937 random(5301);
    struct CCase
    {
        int r, x, y, z, labels;
        double share;
        int boxes;
    };
    // Sizes below, at and just above the element, odd and thin ones; few and many labels.
    // Noise with a share of A, then solid A boxes. Big elements get little A: the literal
    // dilation costs an element per A voxel, so theirs is checked on the noise only.
    const CCase cases[] = {
        {1, 1, 1, 1, 2, 0.5, 0},        {1, 2, 3, 2, 2, 0.5, 1},       {1, 13, 11, 9, 2, 0.6, 2},
        {1, 17, 5, 19, 20, 0.3, 3},     {1, 3, 100, 100, 4, 0.7, 2},   {2, 4, 4, 4, 2, 0.6, 1},
        {2, 5, 6, 5, 2, 0.6, 1},        {2, 19, 23, 17, 20, 0.2, 3},   {2, 3, 100, 100, 3, 0.5, 2},
        {3, 8, 7, 6, 2, 0.3, 2},        {3, 25, 22, 21, 20, 0.1, 4},   {5, 12, 12, 11, 2, 0.05, 2},
        {5, 31, 12, 3, 20, 0.1, 1},     {8, 18, 17, 16, 2, 0.02, 2},   {13, 26, 29, 27, 20, 0.003, 1},
        {20, 40, 41, 42, 2, 0.002, 1},  {20, 43, 20, 9, 20, 0.002, 1},
    };
    for (const CCase& c : cases)
    {
        const tElement element = panelElement(c.r);
        expectLiteral(randomLabels(c.x, c.y, c.z, c.labels, c.share, 0, random), element, centred(c.r));
        const tLabels solid = randomLabels(c.x, c.y, c.z, c.labels, 0.0, c.boxes, random);
        expectLiteral(solid, element, centred(c.r), c.r >= 8 ? std::initializer_list<bool>{true}
                                                             : std::initializer_list<bool>{false, true});
    }
}

TEST(MorphologyTest, AnyElementEqualsTheLiteralLoops)
{
    // Boxes of any size with any centre (in the element or far outside it), random shapes,
    // the value false, empty elements; margins of the element hold the value and must not
    // count.
    std::mt19937 random(2718);
    std::uniform_int_distribution<int> size(1, 6);
    std::uniform_int_distribution<int> volumeSize(1, 14);
    for (int round = 0; round < 120; ++round)
    {
        const int ex = size(random), ey = size(random), ez = size(random);
        tElement element(ex, ey, ez, round % 3);
        const bool value = round % 4 != 3;
        std::bernoulli_distribution member(round % 5 == 0 ? 1.0 : round % 17 == 0 ? 0.0 : 0.6);
        element.fillEntire(value);
        for (int k = 0; k < ez; ++k)
            for (int j = 0; j < ey; ++j)
                for (int i = 0; i < ex; ++i)
                    element.at(i, j, k) = member(random) ? value : !value;
        const int reach = round % 7 == 0 ? 12 : 2;
        std::uniform_int_distribution<int> centre(-reach, 6 + reach);
        const CParameters p{centre(random), centre(random), centre(random), value, round % 2 ? 2 : 1};
        const int x = volumeSize(random), y = volumeSize(random), z = volumeSize(random);
        expectLiteral(randomLabels(x, y, z, round % 2 ? 20 : 2, 0.5, 2, random), element, p);
    }
}

TEST(MorphologyTest, LineElementsCountPast255And65535)
{
    // Line elements of L voxels along y or z on volumes longer than L: running counts past
    // 255 and past 65535. A run of A from a to b along the line dilates to
    // [a - c, b + L - 1 - c] and erodes to [a + c, b + c - L + 1] (c: the centre). The
    // run of 65536 makes a 16-bit count wrap to 0 where a window holds all of it.
    struct CCase
    {
        int axis, length, elementLength, centre, a, b;
    };
    for (const CCase& c : {CCase{1, 300, 280, 0, 5, 290}, CCase{2, 301, 270, 269, 0, 299},
                           CCase{2, 300, 256, 100, 20, 295}, CCase{1, 70000, 66000, 0, 1500, 1500 + 65535},
                           CCase{2, 70000, 65600, 65599, 0, 68000}})
    {
        const bool alongY = c.axis == 1;
        tLabels source(2, alongY ? c.length : 2, alongY ? 2 : c.length);
        source.fill(B);
        tElement element(1, alongY ? c.elementLength : 1, alongY ? 1 : c.elementLength);
        element.fill(true);
        const CParameters p{0, alongY ? c.centre : 0, alongY ? 0 : c.centre};
        const auto at = [&](tLabels& v, int i) -> std::uint16_t& { return alongY ? v.at(1, i, 0) : v.at(1, 0, i); };
        for (int i = c.a; i <= c.b; ++i)
            at(source, i) = A;
        tLabels dilated(source), eroded(source);
        ASSERT_TRUE(morph(false, source, dilated, element, p));
        ASSERT_TRUE(morph(true, source, eroded, element, p));
        const int last = c.elementLength - 1;
        for (int i = 0; i < c.length; ++i)
        {
            const bool covered = i >= c.a - c.centre && i <= c.b + last - c.centre;
            const bool kept = i >= c.a + c.centre && i <= c.b + c.centre - last;
            ASSERT_EQ(at(dilated, i), covered ? A : B) << c.length << " " << i;
            ASSERT_EQ(at(eroded, i), kept ? A : i >= c.a && i <= c.b ? 0 : B) << c.length << " " << i;
        }
    }
}

TEST(MorphologyTest, RefusalsProgressAndCancel)
{
    const tElement element = panelElement(2);
    tLabels source(8, 8, 5);
    source.fill(0);
    for (int z = 0; z < 5; ++z)
        source.at(4, 4, z) = A;
    for (bool eroding : {false, true})
    {
        // A source larger than the destination along one axis, or a missing piece:
        // refused, nothing written, no callback.
        for (auto [x, y, z] : {std::tuple{7, 8, 5}, {8, 7, 5}, {8, 8, 4}})
        {
            tLabels small(x, y, z);
            small.fill(B);
            int calls = 0;
            CFilter filter(eroding, &source, &small, &element, centred(2));
            filter.base().setProgressCallback([&calls](int, int) { return ++calls > 0; });
            EXPECT_FALSE(filter.run());
            EXPECT_EQ(calls, 0);
            EXPECT_EQ(countLabel(small, B), std::size_t(x) * y * z);
        }
        tLabels destination(source);
        EXPECT_FALSE(CFilter(eroding, nullptr, &destination, &element, centred(2)).run());
        EXPECT_FALSE(CFilter(eroding, &source, nullptr, &element, centred(2)).run());
        EXPECT_FALSE(CFilter(eroding, &source, &destination, nullptr, centred(2)).run());
        EXPECT_EQ(differences(destination, source), 0u);

        // One report per slice with total Z; false after the first slice stops with slice
        // 0 written and the rest as before; the callback is dropped after the run.
        tLabels complete(source), cancelled(source);
        ASSERT_TRUE(morph(eroding, source, complete, element, centred(2)));
        std::vector<std::pair<int, int>> reports;
        CFilter filter(eroding, &source, &cancelled, &element, centred(2));
        filter.base().setProgressCallback([&](int current, int total) {
            reports.emplace_back(current, total);
            return current < 1;
        });
        EXPECT_FALSE(filter.run());
        EXPECT_EQ(reports, (std::vector<std::pair<int, int>>{{1, 5}}));
        for (int z = 0; z < 5; ++z)
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    ASSERT_EQ(cancelled.at(x, y, z), (z == 0 ? complete : source).at(x, y, z)) << x << y << z;
        EXPECT_TRUE(filter.run());
        EXPECT_EQ(reports.size(), 1u);
        EXPECT_EQ(filter.base().getProgressCounter(), 5);
        EXPECT_EQ(filter.base().getProgressTotal(), 5);
        EXPECT_EQ(differences(cancelled, complete), 0u);
    }
}

TEST(MorphologyTest, InPlaceAndThreadedRunsEqualARunIntoACopy)
{
    // In place (destination = source) equals a run into a copy; slices of 300 x 260 share
    // their rows among threads with the same result. Elements: a panel cube, a shape and a
    // box whose centre lies outside them (they reach only ahead in z).
    std::mt19937 random(99);
    const tElement cube = panelElement(2);
    tElement ahead(3, 2, 2), aheadBox(3, 2, 2);
    ahead.fill(true);
    ahead.at(0, 0, 0) = false;
    aheadBox.fill(true);
    const std::pair<const tElement*, CParameters> elements[] = {
        {&cube, centred(2)}, {&ahead, {1, 0, -1}}, {&aheadBox, {1, 0, -2}}};
    for (auto [x, y, z, threads] : {std::tuple{15, 14, 13, 1}, {300, 260, 6, 3}})
    {
        const tLabels volume = randomLabels(x, y, z, 4, 0.2, 3, random);
        for (const auto& [element, parameters] : elements)
            for (bool eroding : {false, true})
            {
                CParameters p = parameters;
                tLabels copy(volume), inPlace(volume), threaded(volume);
                ASSERT_TRUE(morph(eroding, volume, copy, *element, p));
                ASSERT_TRUE(morph(eroding, inPlace, inPlace, *element, p));
                EXPECT_EQ(differences(inPlace, copy), 0u) << "in place " << describe(volume, *element, p);
                p.threads = threads;
                ASSERT_TRUE(morph(eroding, volume, threaded, *element, p));
                EXPECT_EQ(differences(threaded, copy), 0u) << describe(volume, *element, p);
            }
    }
}
