#include "plug/CAppBindings.h"
#include "plug/CAppSceneHub.h"
#include "plug/CPickRequest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(SceneHubTest, SetModeSavesOnlyNonTransientModesAndEmitsOnChange)
{
    CAppSceneHub hub;
    hub.mode = 3;
    std::vector<int> emitted;
    hub.modeChanged.connect([&](int m) { emitted.push_back(m); });

    hub.setMode(CAppSceneHub::MODE_PICK_POINT);
    hub.setMode(CAppSceneHub::MODE_PICK_POINT);
    EXPECT_EQ(emitted, std::vector<int>{32869});
    EXPECT_EQ(hub.getMode(), 32869);
    EXPECT_EQ(hub.getSavedMode(), 3);

    // From a transient mode the saved mode stays.
    hub.setMode(0x8001);
    EXPECT_EQ(hub.getSavedMode(), 3);
    hub.setMode(CAppSceneHub::MODE_PICK_POINT);
    EXPECT_EQ(hub.getSavedMode(), 3);
    hub.restoreMode();
    EXPECT_EQ(hub.getMode(), 3);
    EXPECT_EQ(emitted, (std::vector<int>{32869, 0x8001, 32869, 3}));
}

TEST(SceneHubTest, ExclusiveStrokeConnectionTellsTheOldAndTheNewHolder)
{
    CAppSceneHub hub;
    struct CCall
    {
        const osg::Vec3Array* points;
        int state;
        int extra;
        bool operator==(const CCall&) const = default;
    };
    std::vector<CCall> first, second;
    auto c1 = hub.connectStrokeExclusive([&](const osg::Vec3Array* p, int s, int e) { first.push_back({p, s, e}); });
    EXPECT_EQ(first, (std::vector<CCall>{{nullptr, 1, 0}}));
    auto c2 = hub.connectStrokeExclusive([&](const osg::Vec3Array* p, int s, int e) { second.push_back({p, s, e}); });
    EXPECT_EQ(first, (std::vector<CCall>{{nullptr, 1, 0}, {nullptr, 0, 0}}));
    EXPECT_EQ(second, (std::vector<CCall>{{nullptr, 1, 0}}));
    EXPECT_EQ(hub.strokeDrawn.getCount(), 1u);
    EXPECT_EQ(c2.signal, &hub.strokeDrawn);
    EXPECT_GT(c2.id, c1.id);

    osg::ref_ptr<osg::Vec3Array> points = new osg::Vec3Array;
    hub.strokeDrawn.emit(points.get(), 2, 0);
    EXPECT_EQ(first.size(), 2u);
    EXPECT_EQ(second.back(), (CCall{points.get(), 2, 0}));
}

TEST(BindingsTest, NullLinksRaiseTheirExceptions)
{
    plug::CAppBindings bindings;
    try
    {
        bindings.getStorage();
        FAIL() << "no exception";
    }
    catch (const plug::CAppBindings::CNullAppBindings& error)
    {
        EXPECT_STREQ(error.what(), "Trying to access application bindings via NULL pointer");
    }
    EXPECT_THROW(bindings.getSceneHub(), plug::CAppBindings::CNullAppBindings);

    plug::CAppActor actor;
    EXPECT_THROW(actor.getBindings(), plug::CAppBindings::CNullAppBindings);
    plug::CGuiActor guiActor(nullptr);
    try
    {
        guiActor.getAdapter();
        FAIL() << "no exception";
    }
    catch (const plug::CGuiAdapter::CNullGuiAdapter& error)
    {
        EXPECT_STREQ(error.what(), "Trying to access GUI adapter via NULL pointer");
    }

    // Actors hold references and give them back.
    kvo::base::CRefPtr<plug::CAppBindings> shared(new plug::CAppBindings);
    {
        plug::CAppActor holder;
        holder.setBindings(shared.get());
        EXPECT_EQ(shared->getReferencesCount(), 2);
        EXPECT_EQ(&holder.getBindings(), shared.get());
    }
    EXPECT_EQ(shared->getReferencesCount(), 1);
}

TEST(PickRequestTest, OnePickPerRequestAndANewRequestReplacesThePendingOne)
{
    CAppSceneHub hub;
    hub.mode = 3;
    std::vector<std::string> calls;
    {
        plug::CPickRequest request;
        request.start(hub, [&](float x, float, float) { calls.push_back("first " + std::to_string(int(x))); });
        EXPECT_EQ(hub.getMode(), CAppSceneHub::MODE_PICK_POINT);
        request.start(hub, [&](float x, float, float) { calls.push_back("second " + std::to_string(int(x))); });
        EXPECT_EQ(hub.pointPicked.getCount(), 1u);
        hub.pointPicked.emit(1, 0, 0, 0);
        hub.pointPicked.emit(2, 0, 0, 0);
        EXPECT_EQ(calls, std::vector<std::string>{"second 1"});
        EXPECT_FALSE(request.isPending());

        // A handler may ask for the next pick itself.
        request.start(hub, [&](float, float, float) {
            calls.push_back("chained");
            request.start(hub, [&](float, float, float) { calls.push_back("next"); });
        });
        hub.pointPicked.emit(3, 0, 0, 0);
        EXPECT_TRUE(request.isPending());
    }
    // Destroying a pending request disconnects it.
    EXPECT_EQ(hub.pointPicked.getCount(), 0u);
    hub.pointPicked.emit(4, 0, 0, 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"second 1", "chained"}));
}
