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

#include <optional>
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
    //! With `flowReduction` the new mesh then goes through the flat-area reduction under
    //! the window "Reducing model flat areas, please wait..." (a stop there only ends its
    //! quality pass early). False when the extraction was cancelled, or refused because the
    //! mesh would pass the memory limit (its message in a box captioned "Error"): the model
    //! stays as it was.
    bool createModel(CMarchingCubes& extractor, bool flowReduction);

    //! "Reduce Small Areas": removes the model's pieces of at most `threshold` triangles
    //! (the window "Reducing model flat areas, please wait..." shows meanwhile; no
    //! progress, no cancel). False without a model mesh, else true; flag byte 1, announced.
    bool reduceSmallAreas(long threshold);

    //! "Run Smoothing" under "Smoothing model, please wait...". False without a model mesh,
    //! or when cancelled (or stopped by a coordinate that would not be finite): the mesh
    //! then stays exactly as it was, the flag byte becomes 0 and the model is announced.
    bool smoothModel(long iterations, double lambda, double k);

    //! "Run Decimation" under "Decimating model, please wait..." to fewer than `target`
    //! triangles; without a target (a field that did not parse) half the current count
    //! (× 50 / 100, integer division).
    //! False without a model mesh, or when cancelled: the mesh then stays exactly as it
    //! was, the flag byte becomes 0 and the model is announced.
    bool decimateModel(std::optional<long> target);

    //! True when the last command of this object failed because the user cancelled it.
    bool wasCancelled() const { return m_cancelled; }

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
    //! Sets the flag byte and announces the model (entry 801) with flags 0.
    void announceModel(int flag);

    bool m_cancelled = false;

    const plug::CAppActor& m_actor;
};

} // namespace ostrum
