// Writes the bone mask of the benchmark phantom for tools outside this project (the VTK
// comparison script): one byte per voxel, x fastest, 1 for bone, 0 elsewhere.
//   write_bone_mask FILE X Y Z [host]
// With "host" the mask is the host's CT phantom thresholded at 300..3071.

#include "bench/mesh/CBonePhantom.h"
#include "bench/mesh/CHostPhantomMask.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const bool host = argc == 6 && std::string(argv[5]) == "host";
    if (argc != 5 && !host)
    {
        std::fprintf(stderr, "usage: write_bone_mask FILE X Y Z [host]\n");
        return 2;
    }
    const int X = std::atoi(argv[2]), Y = std::atoi(argv[3]), Z = std::atoi(argv[4]);
    if (X <= 0 || Y <= 0 || Z <= 0)
        return 2;
    kvo::img::CVolume<std::uint16_t> volume;
    if (host)
        makeThresholdedHostPhantom(volume, X, Y, Z);
    else
        makeBonePhantom(volume, X, Y, Z);
    std::FILE* file = std::fopen(argv[1], "wb");
    if (!file)
        return 1;
    std::vector<unsigned char> row(static_cast<std::size_t>(X));
    for (int z = 0; z < Z; ++z)
        for (int y = 0; y < Y; ++y)
        {
            const std::uint16_t* labels = volume.getRowPtr(y, z);
            for (int x = 0; x < X; ++x)
                row[x] = labels[x] == 1 ? 1 : 0;
            if (std::fwrite(row.data(), 1, row.size(), file) != row.size())
            {
                std::fclose(file);
                return 1;
            }
        }
    return std::fclose(file) == 0 ? 0 : 1;
}
