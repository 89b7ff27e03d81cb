// Writes the host's phantom as data for the load benchmarks: an uncompressed CT series
// (explicit VR little endian, one file per slice, signed 16-bit pixels with a rescale
// intercept of -1024) or a NIfTI-1 file (.nii or .nii.gz, signed 16 bits).
//
//   write_dicom_series DIR [X Y Z]           series into DIR (created; default 512 512 200)
//   write_dicom_series --nifti FILE [X Y Z]  NIfTI file, the extension picks compression
//
// Spacing is 0.7 x 0.7 x 1.25 mm in both cases.

#include "host/import/CPhantomSource.h"

#include <gdcmDataElement.h>
#include <gdcmFile.h>
#include <gdcmTransferSyntax.h>
#include <gdcmWriter.h>
#include <nifti2_io.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using velmora::import::CLoadedVolume;
using velmora::import::CPhantomSource;

constexpr double DX = 0.7;
constexpr double DY = 0.7;
constexpr double DZ = 1.25;
constexpr int STORED_OFFSET = 1024; // stored value = density + 1024, intercept -1024

const std::string UID_ROOT = "1.2.826.0.1.3680043.9.7311.18";

bool writeSlice(const std::string& path, const CLoadedVolume& volume, int z)
{
    gdcm::Writer writer;
    gdcm::DataSet& data = writer.GetFile().GetDataSet();
    auto putText = [&](std::uint16_t group, std::uint16_t element, gdcm::VR vr, std::string value) {
        if (value.size() % 2)
            value += (vr == gdcm::VR::UI) ? '\0' : ' ';
        gdcm::DataElement entry(gdcm::Tag(group, element));
        entry.SetVR(vr);
        entry.SetByteValue(value.data(), static_cast<std::uint32_t>(value.size()));
        data.Replace(entry);
    };
    auto putShort = [&](std::uint16_t group, std::uint16_t element, std::uint16_t value) {
        gdcm::DataElement entry(gdcm::Tag(group, element));
        entry.SetVR(gdcm::VR::US);
        entry.SetByteValue(reinterpret_cast<const char*>(&value), 2);
        data.Replace(entry);
    };
    std::ostringstream position;
    position << 0.0 << "\\" << 0.0 << "\\" << z * DZ;
    std::ostringstream spacing;
    spacing << DY << "\\" << DX;
    putText(0x0008, 0x0016, gdcm::VR::UI, "1.2.840.10008.5.1.4.1.1.2");
    putText(0x0008, 0x0018, gdcm::VR::UI, UID_ROOT + ".3." + std::to_string(z + 1));
    putText(0x0008, 0x0060, gdcm::VR::CS, "CT");
    putText(0x0010, 0x0010, gdcm::VR::PN, "Phantom");
    putText(0x0018, 0x0050, gdcm::VR::DS, std::to_string(DZ));
    putText(0x0020, 0x000d, gdcm::VR::UI, UID_ROOT + ".1");
    putText(0x0020, 0x000e, gdcm::VR::UI, UID_ROOT + ".2");
    putText(0x0020, 0x0013, gdcm::VR::IS, std::to_string(z + 1));
    putText(0x0020, 0x0032, gdcm::VR::DS, position.str());
    putText(0x0020, 0x0037, gdcm::VR::DS, "1\\0\\0\\0\\1\\0");
    putText(0x0020, 0x1041, gdcm::VR::DS, std::to_string(z * DZ));
    putShort(0x0028, 0x0002, 1);
    putText(0x0028, 0x0004, gdcm::VR::CS, "MONOCHROME2");
    putShort(0x0028, 0x0010, static_cast<std::uint16_t>(volume.ySize));
    putShort(0x0028, 0x0011, static_cast<std::uint16_t>(volume.xSize));
    putText(0x0028, 0x0030, gdcm::VR::DS, spacing.str());
    putShort(0x0028, 0x0100, 16);
    putShort(0x0028, 0x0101, 16);
    putShort(0x0028, 0x0102, 15);
    putShort(0x0028, 0x0103, 1);
    putText(0x0028, 0x1052, gdcm::VR::DS, std::to_string(-STORED_OFFSET));
    putText(0x0028, 0x1053, gdcm::VR::DS, "1");

    const std::size_t count = std::size_t(volume.xSize) * std::size_t(volume.ySize);
    std::vector<std::int16_t> stored(count);
    const std::int16_t* slice = volume.voxels.data() + std::size_t(z) * count;
    for (std::size_t i = 0; i < count; ++i)
        stored[i] = static_cast<std::int16_t>(slice[i] + STORED_OFFSET);
    gdcm::DataElement pixels(gdcm::Tag(0x7fe0, 0x0010));
    pixels.SetVR(gdcm::VR::OW);
    pixels.SetByteValue(reinterpret_cast<const char*>(stored.data()), static_cast<std::uint32_t>(count * 2));
    data.Replace(pixels);
    writer.GetFile().GetHeader().SetDataSetTransferSyntax(gdcm::TransferSyntax::ExplicitVRLittleEndian);
    writer.SetFileName(path.c_str());
    return writer.Write();
}

int writeSeries(const std::string& folder, const CLoadedVolume& volume)
{
    std::filesystem::create_directories(folder);
    for (int z = 0; z < volume.zSize; ++z) {
        char name[32];
        std::snprintf(name, sizeof name, "slice%04d.dcm", z + 1);
        const std::string path = (std::filesystem::path(folder) / name).string();
        if (!writeSlice(path, volume, z)) {
            std::cerr << "cannot write " << path << "\n";
            return 1;
        }
    }
    return 0;
}

int writeNifti(const std::string& path, const CLoadedVolume& volume)
{
    std::int64_t dims[8] = {3, volume.xSize, volume.ySize, volume.zSize, 1, 1, 1, 1};
    nifti_image* image = nifti_make_new_nim(dims, DT_INT16, 0);
    if (image == nullptr) {
        std::cerr << "cannot make a NIfTI image\n";
        return 1;
    }
    // The library frees what data points to: lend it the volume only while it writes.
    image->data = const_cast<std::int16_t*>(volume.voxels.data());
    image->dx = image->pixdim[1] = DX;
    image->dy = image->pixdim[2] = DY;
    image->dz = image->pixdim[3] = DZ;
    image->xyz_units = NIFTI_UNITS_MM;
    int status = nifti_set_filenames(image, path.c_str(), 0, 1);
    if (status == 0)
        nifti_image_write(image);
    image->data = nullptr;
    nifti_image_free(image);
    if (status != 0 || !std::filesystem::exists(path)) {
        std::cerr << "cannot write " << path << "\n";
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool nifti = !args.empty() && args.front() == "--nifti";
    if (nifti)
        args.erase(args.begin());
    if (args.size() != 1 && args.size() != 4) {
        std::cerr << "usage: write_dicom_series DIR [X Y Z]\n"
                     "       write_dicom_series --nifti FILE [X Y Z]\n";
        return 2;
    }
    try {
        int size[3] = {512, 512, 200};
        for (std::size_t i = 1; i < args.size(); ++i)
            size[i - 1] = std::stoi(args[i]);
        const CLoadedVolume volume = CPhantomSource(size[0], size[1], size[2], DX, DY, DZ).generate();
        return nifti ? writeNifti(args[0], volume) : writeSeries(args[0], volume);
    } catch (const std::exception& failure) {
        std::cerr << "error: " << failure.what() << "\n";
        return 1;
    }
}
