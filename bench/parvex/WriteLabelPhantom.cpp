// Writes the labelled host phantom (CLabelPhantom.h) for tools outside this project: unsigned
// 16-bit little-endian labels, x fastest, no header. With R, the labels after this
// project's median filter with window 2R + 1 (a margin of zeros), for checking another
// tool's result against it.
//   write_label_phantom FILE X Y Z CLASSES [R]      (CLASSES: 3 or 20)

#include "bench/parvex/CLabelPhantom.h"
#include "plugins/parvex/seg/MedianFilter.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 6 && argc != 7)
    {
        std::fprintf(stderr, "usage: write_label_phantom FILE X Y Z CLASSES [R]\n");
        return 2;
    }
    const int X = std::atoi(argv[2]), Y = std::atoi(argv[3]), Z = std::atoi(argv[4]);
    const int classes = std::atoi(argv[5]);
    const int r = argc == 7 ? std::atoi(argv[6]) : 0;
    if (X <= 0 || Y <= 0 || Z <= 0 || (classes != 3 && classes != 20) || r < 0 || r > 20)
        return 2;
    kvo::img::CVolume<std::uint16_t> labels;
    makeLabelledPhantom(labels, X, Y, Z, classes, r);
    if (r > 0)
    {
        kvo::img::CVolume<std::uint16_t> filtered(X, Y, Z);
        const auto start = std::chrono::steady_clock::now();
        if (!seg::medianFilter(labels, filtered, 2 * r + 1))
            return 1;
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        std::fprintf(stderr, "median r %d: %.3f s\n", r, seconds.count());
        labels = filtered;
    }
    std::FILE* file = std::fopen(argv[1], "wb");
    if (!file)
        return 1;
    for (int z = 0; z < Z; ++z)
        for (int y = 0; y < Y; ++y)
            if (std::fwrite(labels.getRowPtr(y, z), sizeof(std::uint16_t), std::size_t(X), file) != std::size_t(X))
            {
                std::fclose(file);
                return 1;
            }
    return std::fclose(file) == 0 ? 0 : 1;
}
