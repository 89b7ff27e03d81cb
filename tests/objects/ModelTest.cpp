// The surface model's ownership of its mesh.

#include "data/CModel.h"
#include "vctl/MCTriS.h"

#include <gtest/gtest.h>

namespace {

class CCountedMesh : public vctl::MCTriS
{
public:
    explicit CCountedMesh(int& destroyed) : m_destroyed(destroyed) {}
    ~CCountedMesh() override { ++m_destroyed; }

private:
    int& m_destroyed;
};

} // namespace

TEST(Model, OwnsItsMeshAndDestroysItOnce)
{
    int first = 0, second = 0;
    {
        data::CModel model;
        EXPECT_EQ(model.getMesh(), nullptr);
        auto* a = new CCountedMesh(first);
        model.setMesh(a);
        EXPECT_TRUE(model.ownsMesh());
        model.setMesh(a); // the same mesh again: nothing happens
        EXPECT_EQ(first, 0);
        EXPECT_EQ(model.getMesh(), a);

        model.setMesh(new CCountedMesh(second));
        EXPECT_EQ(first, 1);
        EXPECT_EQ(second, 0);
    }
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
}

TEST(Model, NotOwnedOrReleasedMeshesAreLeftAlone)
{
    int destroyed = 0;
    CCountedMesh kept(destroyed);
    {
        data::CModel model;
        model.setMesh(&kept);
        model.setOwnership(false);
        model.setMesh(nullptr);
        EXPECT_EQ(destroyed, 0);
        EXPECT_TRUE(model.ownsMesh()); // a set mesh is owned, even null

        auto* taken = new CCountedMesh(destroyed);
        model.setMesh(taken);
        EXPECT_EQ(model.releaseMesh(), taken);
        EXPECT_EQ(model.getMesh(), nullptr);
        delete taken;
        EXPECT_EQ(destroyed, 1);
    }
    EXPECT_EQ(destroyed, 1);
}
