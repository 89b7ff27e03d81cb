// Writing the model file beyond what the panel tests reach: the permissions of new and
// replaced files, symbolic links, and a temporary file that is never left behind.

#include "OstrumFiles.h"

#include "plugins/ostrum/CModelCommands.h"
#include "toolkit/sys/CReplacingFile.h"
#include "vctl/MCTriS.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using ostrum::CModelCommands;
using kvo::sys::CReplacingFile;

fs::path folderFor(const char* name) { return ostrumtest::scratchFolder(std::string("file-") + name); }

// Two triangles sharing an edge.
void fillMesh(vctl::MCTriS& mesh)
{
    vctl::MCVerticeS& v = mesh.getVertices();
    vctl::MCVertex* a = v.addVertex(0, 0, 0);
    vctl::MCVertex* b = v.addVertex(1, 0, 0);
    vctl::MCVertex* c = v.addVertex(0, 1, 0);
    vctl::MCVertex* d = v.addVertex(1, 1, 0);
    mesh.addTri(a, b, c);
    mesh.addTri(b, d, c);
}

} // namespace

TEST(ModelFileTest, NewFileGetsTheUsualPermissionsAndAnExistingOneKeepsItsOwn)
{
    const fs::path folder = folderFor("permissions");
    vctl::MCTriS mesh;
    fillMesh(mesh);

    const mode_t previousMask = ::umask(027);
    const fs::path fresh = folder / "fresh.stl";
    const bool written = CModelCommands::writeModelFile(mesh, fresh.string());
    ::umask(previousMask);
    ASSERT_TRUE(written);
    EXPECT_EQ(fs::file_size(fresh), 84u + 2u * 50u);
    EXPECT_EQ(fs::status(fresh).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    const fs::path existing = folder / "existing.stl";
    ostrumtest::writeBytes(existing, "old");
    fs::permissions(existing, fs::perms::owner_all | fs::perms::others_read, fs::perm_options::replace);
    ASSERT_TRUE(CModelCommands::writeModelFile(mesh, existing.string()));
    EXPECT_EQ(fs::file_size(existing), 184u);
    EXPECT_EQ(fs::status(existing).permissions(), fs::perms::owner_all | fs::perms::others_read);
    EXPECT_EQ(ostrumtest::filesIn(folder), (std::vector<std::string>{"existing.stl", "fresh.stl"}));
}

TEST(ModelFileTest, LinkIsFollowedAndKept)
{
    const fs::path folder = folderFor("link");
    fs::create_directory(folder / "real");
    ostrumtest::writeBytes(folder / "real" / "model.stl", "old");
    fs::create_symlink(fs::path("real") / "model.stl", folder / "link.stl");
    vctl::MCTriS mesh;
    fillMesh(mesh);
    ASSERT_TRUE(CModelCommands::writeModelFile(mesh, (folder / "link.stl").string()));
    EXPECT_TRUE(fs::is_symlink(folder / "link.stl"));
    EXPECT_EQ(fs::file_size(folder / "real" / "model.stl"), 184u);
    EXPECT_EQ(ostrumtest::filesIn(folder / "real"), (std::vector<std::string>{"model.stl"}));
}

TEST(ModelFileTest, FailuresLeaveTheTargetAndNoTemporaryFile)
{
    const fs::path folder = folderFor("failures");
    vctl::MCTriS mesh;
    fillMesh(mesh);

    // Not a regular file, or no name: refused before anything is created.
    EXPECT_FALSE(CModelCommands::writeModelFile(mesh, "/dev/null"));
    EXPECT_FALSE(CModelCommands::writeModelFile(mesh, ""));
    EXPECT_TRUE(fs::is_empty(folder));

    // The target turns into a folder between writing and renaming.
    {
        CReplacingFile file((folder / "late.stl").string());
        ASSERT_TRUE(file.isReady());
        EXPECT_EQ(fs::path(file.getTemporaryPath()).parent_path(), folder);
        ostrumtest::writeBytes(file.getTemporaryPath(), "data");
        fs::create_directory(folder / "late.stl");
        EXPECT_FALSE(file.commit());
        EXPECT_FALSE(file.isReady());
    }
    EXPECT_EQ(ostrumtest::filesIn(folder), (std::vector<std::string>{"late.stl"}));
    EXPECT_TRUE(fs::is_empty(folder / "late.stl"));

    // Never committed: the temporary file goes, the target stays.
    ostrumtest::writeBytes(folder / "kept.stl", "kept");
    {
        CReplacingFile file((folder / "kept.stl").string());
        ASSERT_TRUE(file.isReady());
        ostrumtest::writeBytes(file.getTemporaryPath(), "new data");
    }
    EXPECT_EQ(ostrumtest::readBytes(folder / "kept.stl"), "kept");
    EXPECT_EQ(ostrumtest::filesIn(folder), (std::vector<std::string>{"kept.stl", "late.stl"}));
}

TEST(ModelFileTest, FolderWithoutWritePermission)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    const fs::path folder = folderFor("readonly");
    ostrumtest::writeBytes(folder / "model.stl", "old");
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);
    vctl::MCTriS mesh;
    fillMesh(mesh);
    const bool written = CModelCommands::writeModelFile(mesh, (folder / "model.stl").string());
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace);
    EXPECT_FALSE(written);
    EXPECT_EQ(ostrumtest::readBytes(folder / "model.stl"), "old");
    EXPECT_EQ(ostrumtest::filesIn(folder), (std::vector<std::string>{"model.stl"}));
}
