#include "plugins/ostrum/CModelCommands.h"

#include "data/CActiveDataSet.h"
#include "data/CDataStorage.h"
#include "data/CDensityData.h"
#include "data/CModel.h"
#include "data/CObjectPtr.h"
#include "data/CRegionColoring.h"
#include "data/CRegionData.h"
#include "data/StorageEntries.h"
#include "plug/Dialogs.h"
#include "toolkit/sys/CReplacingFile.h"
#include "plugins/ostrum/mc/CMarchingCubes.h"
#include "plugins/ostrum/mesh/CFlatAreaReduction.h"
#include "plugins/ostrum/mesh/CMeshDecimation.h"
#include "plugins/ostrum/mesh/CMeshSmoothing.h"
#include "plugins/ostrum/mesh/CSmallAreaReduction.h"
#include "toolkit/mod/CFileChannel.h"
#include "vctl/MCTriS.h"

#include <wx/filedlg.h>
#include <wx/intl.h>
#include <wx/msgdlg.h>

#include <exception>
#include <memory>

namespace ostrum {

using namespace data::entries;

namespace {

// Every entry is requested with these flags: created on first use, brought up to date by
// the object pointer.
constexpr int REQUEST = data::CDataStorage::REQUEST_CREATE | data::CDataStorage::REQUEST_UPDATE;

// The extractor's callback points into a progress window that dies with the command; the
// always-continue handler is put back whatever way the command ends.
class CProgressBinding
{
public:
    CProgressBinding(kvo::mod::CProgress& algorithm, plug::CProgressReporter& reporter) : m_algorithm(algorithm)
    {
        m_algorithm.setProgressCallback(
            kvo::mod::CProgress::tProgressCallback(&reporter, &plug::CProgressReporter::updateProgress));
    }
    ~CProgressBinding() { m_algorithm.restoreDefaultCallback(); }
    CProgressBinding(const CProgressBinding&) = delete;
    CProgressBinding& operator=(const CProgressBinding&) = delete;

private:
    kvo::mod::CProgress& m_algorithm;
};

// Voxel sizes are kept to single precision, like the coordinates the model is saved with.
double singlePrecision(double value) { return static_cast<double>(static_cast<float>(value)); }

} // namespace

bool CModelCommands::createModel(CMarchingCubes& extractor, bool flowReduction)
{
    m_cancelled = false;
    data::CDataStorage& storage = m_actor.getBindings().getStorage();
    // Owned here until the model takes it: a cancelled or failed run destroys it.
    auto mesh = std::make_unique<vctl::MCTriS>();
    {
        data::CObjectPtr<data::CRegionData> regions(storage.getEntry(ENTRY_REGION_DATA, REQUEST));
        data::CObjectPtr<data::CActiveDataSet> dataSet(storage.getEntry(ENTRY_ACTIVE_DATA_SET, REQUEST));
        data::CObjectPtr<data::CDensityData> density(storage.getEntry(dataSet->getDataSetId(), REQUEST));
        data::CObjectPtr<data::CRegionColoring> coloring(storage.getEntry(ENTRY_REGION_COLORING, REQUEST));
        const int region = coloring->getActive();

        std::unique_ptr<plug::CProgressReporter> progress =
            plug::createProgress(m_actor, wxGetTranslation("Creating model, please wait..."), 100);
        CProgressBinding binding(extractor, *progress);
        progress->Show(true);
        extractor.setDimensions(regions->getXSize(), regions->getYSize(), regions->getZSize());
        extractor.setVoxelSize(singlePrecision(density->getDX()), singlePrecision(density->getDY()),
                               singlePrecision(density->getDZ()));
        try
        {
            if (!extractor.extract(mesh.get(), region, *regions, flowReduction))
            {
                m_cancelled = true;
                return false;
            }
        }
        catch (const std::exception& failure)
        {
            // Too large a mesh for the memory limit, found before it was built (or while
            // its blocks grew): the model stays as it was.
            progress.reset();
            plug::showMessage(m_actor, wxString::FromUTF8(failure.what()), wxGetTranslation("Error"),
                              wxOK | wxICON_ERROR);
            return false;
        }
    }
    if (flowReduction)
    {
        // A window of its own shows the step's message; the reduction always succeeds.
        std::unique_ptr<plug::CProgressReporter> progress =
            plug::createProgress(m_actor, wxGetTranslation("Reducing model flat areas, please wait..."), 100);
        CFlatAreaReduction reduction;
        CProgressBinding binding(reduction, *progress);
        progress->Show(true);
        reduction.reduce(*mesh);
    }

    {
        data::CObjectPtr<data::CModel> model(storage.getEntry(ENTRY_MODEL, REQUEST));
        model->setMesh(mesh.release());
    }
    announceModel(1);
    return true;
}

bool CModelCommands::reduceSmallAreas(long threshold)
{
    m_cancelled = false;
    data::CDataStorage& storage = m_actor.getBindings().getStorage();
    std::unique_ptr<plug::CProgressReporter> progress;
    {
        data::CObjectPtr<data::CModel> model(storage.getEntry(ENTRY_MODEL, REQUEST));
        vctl::MCTriS* mesh = model->getMesh();
        if (!mesh)
            return false;
        progress = plug::createProgress(m_actor, wxGetTranslation("Reducing model flat areas, please wait..."), 100);
        progress->Show(true);
        CSmallAreaReduction().reduce(*mesh, threshold);
    }
    announceModel(1);
    return true;
}

bool CModelCommands::smoothModel(long iterations, double lambda, double k)
{
    m_cancelled = false;
    data::CDataStorage& storage = m_actor.getBindings().getStorage();
    std::unique_ptr<plug::CProgressReporter> progress;
    CMeshSmoothing smoothing;
    bool done = false;
    {
        data::CObjectPtr<data::CModel> model(storage.getEntry(ENTRY_MODEL, REQUEST));
        vctl::MCTriS* mesh = model->getMesh();
        if (!mesh)
            return false;
        progress = plug::createProgress(m_actor, wxGetTranslation("Smoothing model, please wait..."), 100);
        CProgressBinding binding(smoothing, *progress);
        progress->Show(true);
        // A failed run has put every position back: the model keeps its mesh as it was.
        done = smoothing.smooth(*mesh, iterations, lambda, k);
    }
    m_cancelled = !done;
    announceModel(done ? 1 : 0);
    return done;
}

bool CModelCommands::decimateModel(std::optional<long> target)
{
    m_cancelled = false;
    data::CDataStorage& storage = m_actor.getBindings().getStorage();
    std::unique_ptr<plug::CProgressReporter> progress;
    bool done = false;
    {
        data::CObjectPtr<data::CModel> model(storage.getEntry(ENTRY_MODEL, REQUEST));
        vctl::MCTriS* mesh = model->getMesh();
        if (!mesh)
            return false;
        progress = plug::createProgress(m_actor, wxGetTranslation("Decimating model, please wait..."), 100);
        CMeshDecimation decimation;
        CProgressBinding binding(decimation, *progress);
        progress->Show(true);
        const long count = mesh->getNumOfTris();
        // A cancelled run has rebuilt the mesh as it was: the model keeps it.
        done = decimation.decimate(*mesh, target ? *target : count * 50 / 100);
    }
    m_cancelled = !done;
    announceModel(done ? 1 : 0);
    return done;
}

void CModelCommands::announceModel(int flag)
{
    data::CDataStorage& storage = m_actor.getBindings().getStorage();
    const data::CEntryPtr modelEntry = storage.getEntry(ENTRY_MODEL, REQUEST);
    {
        data::CObjectPtr<data::CModel> model(modelEntry);
        model->setFlag(static_cast<std::uint8_t>(flag));
    }
    storage.invalidate(modelEntry.get(), 0);
}

bool CModelCommands::hasTriangles()
{
    data::CDataStorage& storage = m_actor.getBindings().getStorage();
    data::CObjectPtr<data::CModel> model(storage.getEntry(ENTRY_MODEL, REQUEST));
    return model->getMesh() && model->getMesh()->getNumOfTris() > 0;
}

bool CModelCommands::saveModel()
{
    if (!hasTriangles())
        return false;
    const wxString file = plug::selectFile(
        m_actor, wxGetTranslation("Please, specify an output file..."), wxEmptyString, wxEmptyString, "stl",
        wxGetTranslation("Stereo litography model (*.stl) |*.stl|All Files (*.*) |*.*"),
        wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (file.empty())
        return false;

    bool written = false;
    // A name the file system's encoding cannot express converts to nothing: a failure, not
    // a file with another name.
    const wxCharBuffer narrow = file.fn_str();
    if (narrow.length() > 0)
    {
        // Taken again: the selector may have let other commands run.
        data::CDataStorage& storage = m_actor.getBindings().getStorage();
        data::CObjectPtr<data::CModel> model(storage.getEntry(ENTRY_MODEL, REQUEST));
        const vctl::MCTriS* mesh = model->getMesh();
        written = mesh && mesh->getNumOfTris() > 0 &&
                  writeModelFile(*mesh, std::string(narrow.data(), narrow.length()));
    }
    if (!written)
        plug::showMessage(m_actor, wxGetTranslation("Failed to save the model!"), wxGetTranslation("Error"),
                          wxOK | wxICON_ERROR);
    return written;
}

bool CModelCommands::writeModelFile(const vctl::MCTriS& mesh, const std::string& path)
{
    kvo::sys::CReplacingFile file(path);
    if (!file.isReady())
        return false;
    bool written = false;
    {
        kvo::mod::CFileChannel channel(kvo::mod::CChannel::CH_OUT, file.getTemporaryPath());
        // The flush shows a write error that the stream's buffer still held back.
        written = mesh.saveSTL(channel) && channel.flush();
        channel.disconnect();
    }
    return written && file.commit();
}

} // namespace ostrum
