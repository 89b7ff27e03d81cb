#pragma once
// What binary dilation (CBinaryDilation) and binary erosion (CBinaryErosion) of one label of
// a label volume share: their settings, the refusals, the progress and the engine.
//
// The object label is the label that grows or shrinks (the active region). The structuring
// element is a CVolume<bool> whose interior voxels equal to the element value form the
// element (its margin is ignored). Laid with its centre (centre x, y, z: any position, in
// the element or not) on voxel (x, y, z), element voxel (ex, ey, ez) covers the image
// (x - cx + ex, y - cy + ey, z - cz + ez). Only the block [0, X) x [0, Y) x [0, Z) of the
// source's sizes is read and written; everything outside it, margins included, counts as
// not the object and is never written.
//
// Every element gives exactly the result of its definition. Elements that fill their
// bounding box (the cubes of makeStructuringElement for sizes >= 2) run separably along x,
// y and z in nearly the same time for any size. Any other element (the 18-neighbourhood of
// size 1) costs one pass over a byte mask of the rows per element voxel. Rows without the
// object are skipped, so sparse regions cost little more than reading the labels.
//
// run() of either class returns false, writing nothing, when the source, the destination
// or the element is missing, or when the source is larger than the destination along any
// axis. Otherwise it produces the result slice by slice in z: after each slice the progress
// counter advances (total: Z) and the callback runs on the calling thread. A false answer
// stops the run at once, with the slices done so far written, and run() returns false.
// However the run ends after the checks, the default callback is put back, so the filter
// keeps no reference to the caller's progress window.
//
// The destination is normally a copy of the source made by the caller; it may also be the
// source itself, with the same result (each slice is read before it is written). Memory:
// one byte per voxel of the source slices within the element's reach along z (at most one
// byte per voxel of the volume) and a few slices of bytes or counters; allocated once per
// run, before anything is written (std::bad_alloc leaves the destination as it was).

#include "toolkit/img/CVolume.h"
#include "toolkit/mod/CProgress.h"

#include <cstdint>

namespace seg {

class CBinaryMorphology : public kvo::mod::CProgress
{
public:
    using tLabelVolume = kvo::img::CVolume<std::uint16_t>;
    using tElement = kvo::img::CVolume<bool>;

    //! The element sizes ("Element Size") the panel offers.
    static constexpr std::int32_t MIN_ELEMENT_SIZE = 1;
    static constexpr std::int32_t MAX_ELEMENT_SIZE = 20;

    //! The structuring element of size r >= 0: n x n x n voxels with n = 2r + 1, margin 0,
    //! all true, to be used with centre (r, r, r). For r = 1 the eight corners are false
    //! (the centre and its 18 nearest neighbours); r = 0 is the centre alone and r >= 2 the
    //! full cube. A negative r throws tElement::CBadSize.
    static tElement makeStructuringElement(std::int32_t size);

    //! The labels read (not owned; null: run() refuses).
    void setSource(const tLabelVolume* source) { m_source = source; }
    //! The labels written (not owned; null: run() refuses).
    void setDestination(tLabelVolume* destination) { m_destination = destination; }
    //! The structuring element (not owned; null: run() refuses).
    void setElement(const tElement* element) { m_element = element; }
    //! The label dilated or eroded; default 1.
    void setObjectLabel(std::uint16_t label) { m_objectLabel = label; }
    //! Element voxels equal to this value belong to the element; default true.
    void setElementValue(bool value) { m_elementValue = value; }
    //! The label written on covered voxels (dilation) or kept ones (erosion); default 1.
    void setWriteLabel(std::uint16_t label) { m_writeLabel = label; }
    //! Position of the element's centre in the element volume; default (0, 0, 0).
    void setCentre(std::int32_t x, std::int32_t y, std::int32_t z)
    {
        m_centreX = x;
        m_centreY = y;
        m_centreZ = z;
    }
    //! Threads that share the rows of each slice: 1 (the default) runs everything on the
    //! calling thread, 0 takes one per hardware thread (at most 8). The result does not
    //! depend on the number of threads; progress and the callback stay on the calling thread.
    void setThreadCount(int threads) { m_threads = threads; }

protected:
    CBinaryMorphology() = default;
    CBinaryMorphology(const tLabelVolume* source, tLabelVolume* destination, const tElement* element)
        : m_source(source), m_destination(destination), m_element(element) {}
    ~CBinaryMorphology() override = default;

    //! The run of either operation; `background` is the label of removed voxels (erosion).
    bool apply(bool erosion, std::uint16_t background);

private:
    const tLabelVolume* m_source = nullptr;
    tLabelVolume* m_destination = nullptr;
    const tElement* m_element = nullptr;
    std::uint16_t m_objectLabel = 1;
    bool m_elementValue = true;
    std::uint16_t m_writeLabel = 1;
    std::int32_t m_centreX = 0;
    std::int32_t m_centreY = 0;
    std::int32_t m_centreZ = 0;
    int m_threads = 1;
};

} // namespace seg
