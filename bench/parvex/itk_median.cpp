// ITK's MedianImageFilter on a raw label volume, for timing beside bench_median. Not part
// of the build; needs Debian's libinsighttoolkit5-dev, which the product never uses:
//
//   g++ -O2 -std=c++17 bench/parvex/itk_median.cpp -o itk_median -I/usr/include/ITK-5.2 \
//       -lITKCommon-5.2 -litkvnl_algo-5.2 -litkvnl-5.2 -litksys-5.2 -pthread
//   build/bench/parvex/write_label_phantom labels.raw 256 256 256 3
//   build/bench/parvex/write_label_phantom ours.raw 256 256 256 3 1
//   ./itk_median labels.raw 256 256 256 1 2 ours.raw
//
//   itk_median LABELS X Y Z R THREADS [EXPECTED]
//
// LABELS holds unsigned 16-bit little-endian labels, x fastest. Prints the best of three
// runs with THREADS threads. With EXPECTED (this project's result on the same labels), also
// counts the voxels at least R from every face where the two differ: ITK repeats the edge
// voxels outside the volume where the panel reads zeros, so only those voxels compare.

#include <itkImage.h>
#include <itkMedianImageFilter.h>
#include <itkMultiThreaderBase.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bool readRaw(const char* path, std::vector<std::uint16_t>& values)
{
    std::FILE* file = std::fopen(path, "rb");
    if (!file)
        return false;
    const bool complete = std::fread(values.data(), sizeof(std::uint16_t), values.size(), file) == values.size();
    std::fclose(file);
    return complete;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 7 && argc != 8)
    {
        std::fprintf(stderr, "usage: itk_median LABELS X Y Z R THREADS [EXPECTED]\n");
        return 2;
    }
    const long X = std::atol(argv[2]), Y = std::atol(argv[3]), Z = std::atol(argv[4]);
    const int r = std::atoi(argv[5]), threads = std::atoi(argv[6]);
    if (X <= 0 || Y <= 0 || Z <= 0 || r < 1 || threads < 1)
        return 2;
    const std::size_t count = std::size_t(X) * std::size_t(Y) * std::size_t(Z);
    std::vector<std::uint16_t> labels(count);
    if (!readRaw(argv[1], labels))
    {
        std::fprintf(stderr, "cannot read %ld x %ld x %ld labels from %s\n", X, Y, Z, argv[1]);
        return 1;
    }

    using tImage = itk::Image<std::uint16_t, 3>;
    itk::MultiThreaderBase::SetGlobalMaximumNumberOfThreads(threads);
    itk::MultiThreaderBase::SetGlobalDefaultNumberOfThreads(threads);
    tImage::Pointer image = tImage::New();
    tImage::RegionType region;
    region.SetSize({{static_cast<itk::SizeValueType>(X), static_cast<itk::SizeValueType>(Y),
                     static_cast<itk::SizeValueType>(Z)}});
    image->SetRegions(region);
    image->Allocate();
    std::memcpy(image->GetBufferPointer(), labels.data(), count * sizeof(std::uint16_t));

    double best = 1e30;
    tImage::Pointer result;
    for (int run = 0; run < 3; ++run)
    {
        using tFilter = itk::MedianImageFilter<tImage, tImage>;
        tFilter::Pointer filter = tFilter::New();
        tFilter::InputSizeType radius;
        radius.Fill(static_cast<itk::SizeValueType>(r));
        filter->SetRadius(radius);
        filter->SetInput(image);
        filter->SetNumberOfWorkUnits(threads);
        const auto start = std::chrono::steady_clock::now();
        filter->Update();
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        best = std::min(best, seconds.count());
        result = filter->GetOutput();
    }
    std::printf("itk MedianImageFilter %ldx%ldx%ld r %d threads %d: %.3f s (best of 3)\n", X, Y, Z, r, threads, best);

    if (argc == 8)
    {
        std::vector<std::uint16_t> expected(count);
        if (!readRaw(argv[7], expected))
            return 1;
        const std::uint16_t* itk = result->GetBufferPointer();
        std::size_t compared = 0, differing = 0;
        for (long z = r; z < Z - r; ++z)
            for (long y = r; y < Y - r; ++y)
                for (long x = r; x < X - r; ++x)
                {
                    const std::size_t i = (std::size_t(z) * std::size_t(Y) + std::size_t(y)) * std::size_t(X) +
                                          std::size_t(x);
                    ++compared;
                    differing += itk[i] != expected[i];
                }
        std::printf("inner voxels compared: %zu, differing: %zu\n", compared, differing);
        return differing == 0 ? 0 : 1;
    }
    return 0;
}
