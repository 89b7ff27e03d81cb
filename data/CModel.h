#pragma once
// The surface model (entry 801): a triangle mesh or none, whether the model owns it, and a
// flag byte (true after every successful modelling step, false after a failed one).
//
// An owned mesh is destroyed through its virtual destructor, so the code of the library
// that made it frees it. Not copyable: the model is the single owner.

#include "toolkit/base/CObject.h"

#include <cstdint>

namespace vctl {
class MCTriS;
}

namespace data {

class CModel : public kvo::base::CObject
{
public:
    CModel() = default;
    ~CModel() override;
    CModel(const CModel&) = delete;
    CModel& operator=(const CModel&) = delete;

    //! The mesh, null when none. Valid while the model holds it.
    vctl::MCTriS* getMesh() const { return m_mesh; }

    //! Takes `mesh` (may be null) and owns it. The same pointer as held does nothing;
    //! otherwise an owned held mesh is destroyed first.
    void setMesh(vctl::MCTriS* mesh);

    //! Gives up the mesh without destroying it: returns it (the caller owns it now if the
    //! model did) and holds none.
    vctl::MCTriS* releaseMesh();

    bool ownsMesh() const { return m_owner; }
    //! Whether the held mesh is destroyed with the model or on replacement.
    void setOwnership(bool owns) { m_owner = owns; }

    std::uint8_t getFlag() const { return m_flag; }
    void setFlag(std::uint8_t flag) { m_flag = flag; }

private:
    vctl::MCTriS* m_mesh = nullptr;
    bool m_owner = true;
    std::uint8_t m_flag = 0;
};

} // namespace data
