#pragma once
// The model commands of the Ostrum plug-in, without windows of their own: each takes the
// entries it needs through object pointers (created on first use, brought up to date),
// runs its algorithm and announces a change of the model (entry 801) with flags 0.
// Progress windows, file selectors and message boxes go through the plug-in dialogs of the
// actor given (the host's dialog service when it has one).
//
// Entries: 11 active data set (names the density entry: voxel sizes), 501 region data,
// 502 region colouring (active region), 801 model. The model owns the meshes put into it.
// A missing binding or storage raises CAppBindings::CNullAppBindings; storage failures
// propagate. All calls on the GUI thread.

#include <string>

namespace plug {
class CAppActor;
}
namespace vctl {
class MCTriS;
}
class CMarchingCubes;

namespace ostrum {

class CModelCommands
{
public:
    //! The actor (panel or interface) must outlive the commands object.
    explicit CModelCommands(const plug::CAppActor& actor) : m_actor(actor) {}

    //! "Run MC": the surface of the active region of the region volume, in the units of the
    //! density volume's voxel sizes (rounded to single precision), built by `extractor`
    //! under the progress window "Creating model, please wait...". On success the new mesh
    //! replaces the model's (the old one is destroyed), the flag byte becomes 1 and the
    //! model is announced; a region no voxel carries gives an empty mesh all the same.
    //! False when cancelled in the progress window: the model stays as it was.
    //! `flowReduction` is handed to the extractor; the flat-area step is not performed.
    bool createModel(CMarchingCubes& extractor, bool flowReduction);

    //! "Save Model": asks for a file and writes the model's mesh there as binary STL
    //! (see writeModelFile). False without a mesh or triangles (nothing asked), when the
    //! file selector is cancelled, or when writing failed ("Failed to save the model!" in a
    //! message box captioned "Error"). The model is not changed.
    bool saveModel();

    //! Writes `mesh` as binary STL (84 + 50 × triangles bytes) to a temporary file beside
    //! `path` and renames it over `path` only when everything was written; an existing
    //! file keeps its permission bits. On failure the temporary file is removed and an
    //! existing file at `path` is left as it was. `path` is a narrow (multibyte) name.
    static bool writeModelFile(const vctl::MCTriS& mesh, const std::string& path);

private:
    //! True when the model holds a mesh with at least one triangle.
    bool hasTriangles();

    const plug::CAppActor& m_actor;
};

} // namespace ostrum
